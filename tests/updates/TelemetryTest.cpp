// Usage events against a loopback server: when they go at all, exactly what goes, and how a
// silent or trickling server ends.
#include "core/BuildSettings.h"
#include "core/StatePaths.h"
#include "platform/MachineFingerprint.h"
#include "support/CapturedMessages.h"
#include "support/ManifestServer.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"
#include "updates/ManifestFetcher.h"
#include "updates/TelemetryClient.h"

#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

using namespace quindle;

namespace {

// A cached manifest is all the client looks at; its signature was checked when it came.
void cacheManifest(bool events) {
    QByteArray body = test::SignedManifest::make("key").unsigned_;
    if (events)
        body.replace("\"events\": false", "\"events\": true");
    test::writeText(paths::manifestCacheFile(), body);
}

bool sent(QFuture<bool> future) {
    EXPECT_TRUE(test::waitUntil([&] { return future.isFinished(); }, 20000));
    return future.isFinished() && !future.isCanceled() && future.result();
}

const EventProperties kLaunched{{"version", "1.2.3"}, {"desktop", "gnome"}, {"tray", "yes"}};

} // namespace

class TelemetryTest : public test::TempHomeTest {
protected:
    // A client as a fresh start would make one: it reads the cached manifest now.
    TelemetryClient &client(const QUrl &base,
                            std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
        fetchers.push_back(std::make_unique<ManifestFetcher>(ManifestFetcher::Settings{}));
        clients.push_back(std::make_unique<TelemetryClient>(
            *fetchers.back(), TelemetryClient::Settings{base, deadline}));
        return *clients.back();
    }
    test::ManifestServer server{test::SignedManifest::make("key")};
    std::vector<std::unique_ptr<ManifestFetcher>> fetchers;
    std::vector<std::unique_ptr<TelemetryClient>> clients;
    test::CapturedMessages log;
};

TEST_F(TelemetryTest, NothingLeavesUnlessTheSwitchTheManifestAndTheAddressAllAllowIt) {
    server.script("/api/telemetry/event", {204, {}});
    // No manifest yet, switch on.
    ASSERT_TRUE(TelemetryClient::setSwitchedOn(true));
    EXPECT_FALSE(sent(client(server.base()).sendEvent("app_launched", kLaunched)));
    // Crash and perf reports allowed, events not.
    cacheManifest(false);
    EXPECT_FALSE(sent(client(server.base()).sendEvent("app_launched", kLaunched)));
    // Events allowed, but the person never switched them on.
    cacheManifest(true);
    ASSERT_TRUE(TelemetryClient::setSwitchedOn(false));
    EXPECT_FALSE(sent(client(server.base()).sendEvent("app_launched", kLaunched)));
    // Everything allows it, but the build has no address.
    ASSERT_TRUE(TelemetryClient::setSwitchedOn(true));
    EXPECT_FALSE(sent(client(QUrl()).sendEvent("app_launched", kLaunched)));
    EXPECT_TRUE(server.requests().isEmpty()) << "not even a connection";
    EXPECT_TRUE(client(server.base()).eventsEnabled());
}

TEST_F(TelemetryTest, AnAllowedEventIsOnePostOfExactlyItsKeysWithTheProductHeaders) {
    cacheManifest(true);
    TelemetryClient::setSwitchedOn(true);
    server.script("/api/telemetry/event", {200, "{}"});
    for (const char *base : {"/", "", "/prefix/", "/prefix"}) {
        EXPECT_TRUE(sent(client(server.base(base)).sendEvent("app_launched", kLaunched)));
        EXPECT_TRUE(
            sent(client(server.base(base)).sendEvent("feedback_sent", {{"category", "praise"}})));
    }
    ASSERT_EQ(server.requests().size(), 8);
    const auto &first = server.requests().first();
    EXPECT_EQ(first.method, "POST");
    EXPECT_EQ(first.target, "/api/telemetry/event");
    EXPECT_EQ(server.requests().at(4).target, "/prefix/api/telemetry/event");
    EXPECT_EQ(first.headers.value("content-type"), "application/json");
    EXPECT_EQ(first.headers.value("user-agent"),
              "Quindle/" + build::version().toUtf8() + " (Linux)");
    const QRegularExpression shape(QStringLiteral(
        R"(^\{"event":"app_launched","props":\{"desktop":"gnome","tray":"yes",)"
        R"("version":"1\.2\.3"\},"occurred_at":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ"\}$)"));
    EXPECT_TRUE(shape.match(QString::fromUtf8(first.body)).hasMatch()) << first.body.constData();
    EXPECT_EQ(QJsonDocument::fromJson(server.requests().at(1).body).object().keys(),
              QStringList({"event", "occurred_at", "props"}));

    // The fingerprint is this computer's for Quindle, never the machine ID in any spelling.
    const QByteArray fingerprint = first.headers.value("x-qd-fingerprint");
    if (const std::optional<QString> machine = platform::machineUUID()) {
        ASSERT_FALSE(fingerprint.isEmpty());
        const QString bare = machine->toLower().remove(u'-');
        EXPECT_FALSE(QString::fromLatin1(fingerprint).toLower().remove(u'-').contains(bare));
    }
    for (const auto &request : server.requests())
        EXPECT_FALSE(request.body.contains('@')) << "no e-mail address";
}

TEST_F(TelemetryTest, AnEventOutsideTheCatalogueIsDroppedAndSaysSo) {
    cacheManifest(true);
    TelemetryClient::setSwitchedOn(true);
    server.script("/api/telemetry/event", {200, "{}"});
    TelemetryClient &telemetry = client(server.base());
    EXPECT_FALSE(sent(telemetry.sendEvent("disk_scanned", {})));
    EXPECT_FALSE(sent(telemetry.sendEvent(
        "transfer_finished",
        {{"mode", "copy"}, {"state", "completed"}, {"remote_type", "/home/sam/Photos"}})));
    EXPECT_FALSE(sent(telemetry.sendEvent("app_launched", {{"version", "1.2.3"}})));
    EXPECT_FALSE(sent(telemetry.sendEvent("feedback_sent", {{"category", "sam@example.org"}})));
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(log.startingWith("Quindle telemetry: "),
              QStringList({"Quindle telemetry: dropped event disk_scanned",
                           "Quindle telemetry: dropped event transfer_finished",
                           "Quindle telemetry: dropped event app_launched",
                           "Quindle telemetry: dropped event feedback_sent"}));
    // Every kind of account Quindle adds is reported under the name its account list uses.
    for (const char *type : {"local", "drive", "googlephotos", "s3", "sftp", "ftp"})
        EXPECT_TRUE(sent(telemetry.sendEvent(
            "transfer_finished",
            {{"mode", "bisync"}, {"state", "canceled"}, {"remote_type", type}})))
            << type;
}

TEST_F(TelemetryTest, FailuresAreLoggedOnceAndNeverWaitPastTheDeadline) {
    cacheManifest(true);
    TelemetryClient::setSwitchedOn(true);
    server.script("/api/telemetry/event", {500, "oops", "text/plain"});
    EXPECT_FALSE(sent(client(server.base()).sendEvent("app_launched", kLaunched)));
    const QString address = server.base("/api/telemetry/event").toString();
    EXPECT_TRUE(log.contains(QStringLiteral("Quindle telemetry: HTTP 500 on ") + address));
    EXPECT_FALSE(sent(client(QUrl("http://127.0.0.1:1/")).sendEvent("app_launched", kLaunched)));
    EXPECT_TRUE(log.contains("Quindle telemetry: send failed: Connection refused"));
    EXPECT_FALSE(sent(client(QUrl("http://example.org/")).sendEvent("app_launched", kLaunched)));
    EXPECT_TRUE(log.contains(
        "Quindle telemetry: send failed: Network error: only https addresses are allowed"));

    // A silent server and one that trickles a byte a second both end at the deadline, and the
    // main thread stays free meanwhile.
    for (const auto mode : {test::ManifestServer::Scripted::Mode::Silence,
                            test::ManifestServer::Scripted::Mode::Drip}) {
        server.script("/api/telemetry/event",
                      {200, QByteArray(100, ' '), "application/json", mode});
        TelemetryClient &telemetry = client(server.base(), std::chrono::milliseconds(1500));
        QFuture<bool> future = telemetry.sendEvent("app_launched", kLaunched);
        bool ranMeanwhile = false;
        QTimer::singleShot(0, [&] { ranMeanwhile = true; });
        EXPECT_TRUE(test::waitUntil([&] { return ranMeanwhile; }));
        EXPECT_FALSE(future.isFinished());
        EXPECT_FALSE(sent(future));
    }
    EXPECT_EQ(log.startingWith("Quindle telemetry: send failed: The request timed out.").size(), 2);
}
