#include "app/CommandLine.h"

#include "core/ConfigFile.h"

#include <QTextStream>

namespace quindle {

// quindle config get KEY | quindle config set KEY VALUE: one key of the service's configuration.
int runConfig(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const ConfigFile config;
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("get") && arguments.size() == 2) {
        const std::optional<QString> value = config.written(arguments.at(1));
        if (!value) {
            err << arguments.at(1) << " is not set in " << config.path() << ".\n";
            return 1;
        }
        out << ConfigFile::unquote(*value) << '\n'; // what `set` was given
        return 0;
    }
    if (verb == QLatin1String("set") && arguments.size() == 3) {
        if (const std::optional<QString> error = config.set({{arguments.at(1), arguments.at(2)}})) {
            err << *error << '\n';
            return 1;
        }
        out << arguments.at(1) << " is now " << arguments.at(2) << " in " << config.path()
            << "; the service reads it within 30 seconds.\n";
        return 0;
    }
    err << "Usage: quindle config get KEY\n       quindle config set KEY VALUE\n";
    return 2;
}

} // namespace quindle
