#include "app/CommandLine.h"

#include "core/BuildSettings.h"
#include "updates/ManifestFetcher.h"
#include "updates/TelemetryClient.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QTextStream>

namespace quindle {

namespace {

// Why an event would not be sent now, or nothing when it would.
std::optional<QString> whyNotSent(const ManifestFetcher &manifest) {
    if (!TelemetryClient::switchedOn())
        return QStringLiteral("Usage events are switched off (quindle telemetry on, or Settings "
                              "→ Privacy).");
    if (build::serviceUrl().isEmpty())
        return QStringLiteral("This build has no service address, so it sends no events.");
    if (!manifest.manifest())
        return QStringLiteral("No update manifest has been fetched yet, so events are not "
                              "allowed.");
    if (!manifest.manifest()->behaviour.telemetry.events)
        return QStringLiteral("The update manifest does not allow usage events now.");
    return std::nullopt;
}

int send(const QStringList &arguments, QTextStream &err) {
    EventProperties properties;
    for (const QString &pair : arguments.mid(1)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            err << "“" << pair << "” is not key=value.\n";
            return 2;
        }
        properties.insert(pair.left(equals), pair.mid(equals + 1));
    }
    const ManifestFetcher manifest; // the cached copy only: nothing is fetched
    if (const std::optional<QString> reason = whyNotSent(manifest)) {
        err << *reason << '\n';
        return 1;
    }
    if (!isCataloguedEvent(arguments.first(), properties)) {
        err << "“" << arguments.first()
            << "” with these properties is not an event Quindle sends, so nothing was sent.\n";
        return 1;
    }
    TelemetryClient telemetry(manifest);
    QFutureWatcher<bool> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(telemetry.sendEvent(arguments.first(), properties));
    if (!watcher.isFinished())
        loop.exec();
    if (!watcher.result()) {
        err << "The service did not take the event; the line above says why.\n";
        return 1;
    }
    err << "The service took the event.\n";
    return 0;
}

} // namespace

// quindle telemetry on|off|status, and send EVENT [key=value…] for a person checking what goes
// out.
int runTelemetry(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString verb = arguments.value(0);
    if ((verb == QLatin1String("on") || verb == QLatin1String("off")) && arguments.size() == 1) {
        if (!TelemetryClient::setSwitchedOn(verb == QLatin1String("on")))
            return 1;
        out << (verb == QLatin1String("on") ? "Usage events are on: Quindle sends them while "
                                              "its update service allows it.\n"
                                            : "Usage events are off: Quindle sends none.\n");
        return 0;
    }
    if (verb == QLatin1String("status") && arguments.size() == 1) {
        out << "Usage events: " << (TelemetryClient::switchedOn() ? "on" : "off") << '\n';
        const ManifestFetcher manifest;
        if (const std::optional<QString> reason = whyNotSent(manifest))
            out << *reason << '\n';
        else
            out << "Events are sent to " << build::serviceUrl().toString() << ".\n";
        return 0;
    }
    if (verb == QLatin1String("send") && arguments.size() >= 2)
        return send(arguments.mid(1), err);
    err << "Usage: quindle telemetry on|off|status\n"
           "       quindle telemetry send EVENT [key=value…]\n";
    return 2;
}

} // namespace quindle
