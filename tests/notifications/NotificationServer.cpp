#include "NotificationServer.h"

#include "support/CommandRun.h"
#include "support/WaitUntil.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUuid>

#include <gtest/gtest.h>

namespace quindle::test {

namespace {

constexpr int startupMs = 20000;

void stop(QProcess &process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void write(const QString &path, const QByteArray &text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(text);
}

} // namespace

std::optional<QString> missingDesktopPrograms() {
    for (const char *program : {"dbus-daemon", "dbus-monitor", "Xvfb", "dunst", "dunstctl"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            return QStringLiteral("%1 is not installed (scripts/setup.sh installs it).")
                .arg(QLatin1String(program));
    return std::nullopt;
}

PrivateBus::PrivateBus() {
    const QString config = m_dir.filePath("bus.conf");
    write(config,
          QStringLiteral(
              R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
              .arg(m_dir.path())
              .toUtf8());
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon.start("dbus-daemon",
                   {QStringLiteral("--config-file=") + config, "--nofork", "--print-address=1"});
    if (waitUntil([this] { return m_daemon.canReadLine(); }, startupMs))
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    QDBusConnection::disconnectFromBus(m_address);
    stop(m_daemon);
}

QDBusConnection PrivateBus::connect() const {
    return QDBusConnection::connectToBus(m_address, m_address);
}

QProcessEnvironment PrivateBus::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
    return environment;
}

bool PrivateBus::nameHasOwner(const QString &name) const {
    return connect().interface()->isServiceRegistered(name);
}

DunstServer::DunstServer(const PrivateBus &bus, Markup markup)
    : m_bus(bus) {
    const QString config = m_dir.filePath("dunstrc");
    write(config, QByteArray("[global]\n"
                             "stack_duplicates = false\n"
                             "history_length = 10000\n"
                             "notification_limit = 1\n"
                             "markup = ") +
                      (markup == Markup::Full ? "full" : "no") + "\n");
    // A display of its own: Xvfb picks a free number and says which.
    m_display.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    if (!waitUntil([this] { return m_display.canReadLine(); }, startupMs))
        return;
    QProcessEnvironment environment = bus.environment();
    environment.insert("DISPLAY", u':' + QString::fromUtf8(m_display.readLine()).trimmed());
    m_dunst.setProcessEnvironment(environment);
    m_dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_dunst.start("dunst", {"-config", config});
    // Nothing may ask for the name before dunst owns it.
    m_ready = waitUntil(
        [&] {
            return m_dunst.state() != QProcess::NotRunning &&
                   bus.nameHasOwner("org.freedesktop.Notifications");
        },
        startupMs);
}

DunstServer::~DunstServer() {
    stop(m_dunst);
    stop(m_display);
    // The next server on this bus must find the name free.
    waitUntil([this] { return !m_bus.nameHasOwner("org.freedesktop.Notifications"); }, startupMs);
}

QString DunstServer::dunstctl(const QStringList &arguments) const {
    const CommandRun run = runCommand("dunstctl", arguments, m_bus.environment());
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    return run.out;
}

int DunstServer::received() const {
    int total = 0;
    for (const char *which : {"displayed", "waiting", "history"})
        total += dunstctl({"count", QString::fromLatin1(which)}).trimmed().toInt();
    return total;
}

QList<ReceivedNotice> DunstServer::history() const {
    // Closing the one on screen brings the next waiting one up.
    while (dunstctl({"count", "displayed"}).trimmed().toInt() > 0)
        dunstctl({"close-all"});
    const QJsonArray entries = QJsonDocument::fromJson(dunstctl({"history"}).toUtf8())
                                   .object()
                                   .value("data")
                                   .toArray()
                                   .at(0)
                                   .toArray();
    QList<ReceivedNotice> notices;
    for (const QJsonValue &entry : entries) {
        const auto field = [&](const char *key) {
            return entry[QLatin1String(key)][QLatin1String("data")].toString();
        };
        notices.prepend({field("appname"), field("summary"), field("body")});
    }
    return notices;
}

NotifyMonitor::NotifyMonitor(const PrivateBus &bus) {
    m_monitor.setProcessEnvironment(bus.environment());
    QObject::connect(&m_monitor, &QProcess::readyReadStandardOutput,
                     [this] { m_output += m_monitor.readAllStandardOutput(); });
    m_monitor.start("dbus-monitor", {"--address", bus.address(),
                                     "type='method_call',interface='org.freedesktop.Notifications',"
                                     "member='Notify'"});
    // It has become a monitor once the bus took its name back.
    m_ready = waitUntil([this] { return m_output.contains("NameLost"); }, startupMs);
}

NotifyMonitor::~NotifyMonitor() {
    stop(m_monitor);
}

QList<NotifyCall> NotifyMonitor::calls(qsizetype count) {
    // dbus-monitor prints one argument a line: the call's strings, then each hint as a
    // "dict entry(" with its key's line and its "variant <type> <value>" line.
    const auto parse = [this] {
        static const QRegularExpression text(QStringLiteral(R"re(^\s*string "(.*)"$)re"));
        static const QRegularExpression variant(
            QStringLiteral(R"re(^\s*variant\s+\w+\s+"?(.*?)"?$)re"));
        QList<NotifyCall> found;
        QStringList strings;
        QString previous, key;
        for (const QByteArray &raw : m_output.split('\n')) {
            const QString line = QString::fromUtf8(raw);
            if (line.startsWith("method call")) {
                found.append(NotifyCall{});
                strings.clear();
            } else if (!found.isEmpty()) {
                NotifyCall &call = found.last();
                const QRegularExpressionMatch string = text.match(line);
                const QRegularExpressionMatch value = variant.match(line);
                if (string.hasMatch() && previous.trimmed() == "dict entry(") {
                    key = string.captured(1);
                } else if (value.hasMatch() && !key.isEmpty()) {
                    call.hints.insert(key, value.captured(1));
                    key.clear();
                } else if (string.hasMatch() && strings.size() < 4) {
                    strings << string.captured(1);
                    call.appName = strings.value(0);
                    call.icon = strings.value(1);
                    call.summary = strings.value(2);
                    call.body = strings.value(3);
                }
            }
            previous = line;
        }
        return found;
    };
    waitUntil([&] { return parse().size() >= count; });
    return parse();
}

} // namespace quindle::test
