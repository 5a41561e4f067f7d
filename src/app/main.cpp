#include "app/CommandLine.h"

#include "core/BuildSettings.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <cstring>

namespace {

void nameTheApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Quindle"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quindle"));
}

} // namespace

// No arguments: the desktop application. Otherwise the command-line front end, which needs no
// display, or the version.
int main(int argc, char *argv[]) {
    // Before any application object: asking the version needs no display and no engine.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        QTextStream(stdout) << "Quindle " << quindle::build::version() << '\n';
        return 0;
    }
    if (argc <= 1) {
        QApplication app(argc, argv);
        nameTheApplication();
        return quindle::runDesktop(app);
    }
    QCoreApplication app(argc, argv);
    nameTheApplication();
    return quindle::runCommandLine(QCoreApplication::arguments().mid(1));
}
