#include "app/CommandLine.h"

#include "app/CommandOutput.h"
#include "transfers/SecretVault.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace quindle {

namespace {

int vaultUsage() {
    QTextStream(stderr) << "Usage: quindle vault set SCOPE KEY   (the value on standard input)\n"
                           "       quindle vault get SCOPE KEY\n"
                           "       quindle vault purge SCOPE\n"
                           "       quindle vault list|status\n"
                           "       quindle vault reset --yes\n";
    return 2;
}

int fail(const VaultError &error) {
    QTextStream(stderr) << error.text() << '\n';
    return 1;
}

int done(const std::optional<VaultError> &error) {
    return error ? fail(*error) : 0;
}

int listScopes(bool statusOnly) {
    QTextStream out(stdout);
    const SecretVault::Result<SecretVault::Database> loaded = SecretVault::load();
    if (statusOnly) {
        out << "Vault: " << SecretVault::vaultPath() << '\n';
        out << "Key file: " << SecretVault::pepperPath()
            << (QFileInfo::exists(SecretVault::pepperPath()) ? "" : " (not created yet)") << '\n';
    }
    if (const auto *error = std::get_if<VaultError>(&loaded)) {
        if (statusOnly)
            out.flush();
        return fail(*error);
    }
    const SecretVault::Database &database = std::get<SecretVault::Database>(loaded);
    if (statusOnly) {
        out << (QFileInfo::exists(SecretVault::vaultPath()) ? "The vault opens" : "No vault yet")
            << "; it holds " << database.size()
            << (database.size() == 1 ? " scope.\n" : " scopes.\n");
        return 0;
    }
    for (auto scope = database.cbegin(); scope != database.cend(); ++scope)
        out << scope.key() << ": " << scope->keys().join(QStringLiteral(", ")) << '\n';
    return 0;
}

} // namespace

int runVault(const QStringList &arguments) {
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("set") && arguments.size() == 3)
        return done(SecretVault::set(arguments.at(1), arguments.at(2), pipedSecret()));
    if (verb == QLatin1String("get") && arguments.size() == 3) {
        const auto value = SecretVault::get(arguments.at(1), arguments.at(2));
        if (const auto *error = std::get_if<VaultError>(&value))
            return fail(*error);
        const std::optional<QString> found = std::get<std::optional<QString>>(value);
        if (!found) {
            QTextStream(stderr) << "The vault holds no " << arguments.at(2) << " in "
                                << arguments.at(1) << ".\n";
            return 1;
        }
        QTextStream(stdout) << *found << '\n';
        return 0;
    }
    if (verb == QLatin1String("purge") && arguments.size() == 2)
        return done(SecretVault::purge(arguments.at(1)));
    if ((verb == QLatin1String("list") || verb == QLatin1String("status")) && arguments.size() == 1)
        return listScopes(verb == QLatin1String("status"));
    if (verb == QLatin1String("reset") &&
        arguments.mid(1) == QStringList{QStringLiteral("--yes")}) {
        if (const std::optional<QString> error = SecretVault::reset()) {
            QTextStream(stderr) << *error << '\n';
            return 1;
        }
        QTextStream(stdout) << "The vault was reset; every stored credential must be entered "
                               "again.\n";
        return 0;
    }
    return vaultUsage();
}

} // namespace quindle
