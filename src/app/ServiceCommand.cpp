#include "app/CommandLine.h"
#include "app/WaitFor.h"

#include "core/Installer.h"
#include "core/StatusModel.h"
#include "platform/ServiceManagerKind.h"

#include <QFileInfo>
#include <QTextStream>

namespace quindle {

namespace {

int serviceUsage(QTextStream &err) {
    err << "Usage: quindle service install|start|stop|status|upgrade\n"
           "       quindle service run <sub-command> [arguments…]\n";
    return 2;
}

int installService(QTextStream &out, QTextStream &err) {
    Installer installer;
    qsizetype printed = 0;
    QObject::connect(&installer, &Installer::changed, [&] {
        for (; printed < installer.log().size(); ++printed)
            out << installer.log().at(printed) << Qt::endl;
    });
    const QFuture<bool> done = installer.install();
    waitFor(done);
    if (!done.result()) {
        err << "The background service was not installed.\n";
        return 1;
    }
    return 0;
}

int upgrade(QTextStream &out) {
    Installer installer;
    const QFuture<QStringList> done = installer.upgradeScriptsIfNeeded();
    waitFor(done);
    const QStringList replaced = done.result();
    out << (replaced.isEmpty() ? QStringLiteral("The installed scripts are up to date.")
                               : Installer::upgradedLogLine(replaced))
        << '\n';
    return 0;
}

// Start, stop and the service's sub-commands, through the same model as the tray.
int steer(const QString &what, const QStringList &words, QTextStream &out, QTextStream &err) {
    StatusModel model;
    QFuture<ProcessOutput> done;
    if (what == QLatin1String("start"))
        done = model.startService();
    else if (what == QLatin1String("stop"))
        done = model.stopService();
    else
        done = model.run(words.join(QLatin1Char(' ')));
    waitFor(done);
    if (!model.actionOutput().isEmpty())
        out << model.actionOutput() << '\n';
    if (done.result().status != 0) {
        err << model.lastError().value_or(QStringLiteral("The service command failed.")) << '\n';
        return 1;
    }
    if (what == QLatin1String("start"))
        out << (model.serviceLoaded() ? "The background service is running.\n"
                                      : "The background service was started but is not "
                                        "running yet.\n");
    else if (what == QLatin1String("stop"))
        out << "The background service is stopped until you log in again; `quindle service "
               "start` starts it now.\n";
    return 0;
}

int status(QTextStream &out) {
    StatusModel model;
    waitFor(model.refreshAsync());
    const auto yesNo = [](bool value) {
        return value ? QStringLiteral("yes") : QStringLiteral("no");
    };
    out << "Service manager:  " << platform::describe(platform::detectServiceManager()) << '\n'
        << "Installed:        " << yesNo(model.serviceInstalled()) << '\n'
        << "Running:          " << yesNo(model.serviceLoaded()) << '\n'
        << "Starts at login:  " << yesNo(QFileInfo::exists(model.definitionFile())) << '\n'
        << "Headline:         " << model.headerSubtitle() << '\n';
    if (model.status())
        out << "Quiet mode:       " << StatusModel::quietHoursDescription(*model.status()) << '\n';
    if (model.lastError())
        out << "Last error:       " << *model.lastError() << '\n';
    return 0;
}

} // namespace

int runService(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString what = arguments.value(0);
    if (what == QLatin1String("install") && arguments.size() == 1)
        return installService(out, err);
    if (what == QLatin1String("upgrade") && arguments.size() == 1)
        return upgrade(out);
    if (what == QLatin1String("status") && arguments.size() == 1)
        return status(out);
    if ((what == QLatin1String("start") || what == QLatin1String("stop")) && arguments.size() == 1)
        return steer(what, {}, out, err);
    if (what == QLatin1String("run") && arguments.size() > 1)
        return steer(what, arguments.mid(1), out, err);
    return serviceUsage(err);
}

} // namespace quindle
