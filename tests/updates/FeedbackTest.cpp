// The feedback calls and the form's flow against a loopback server that answers as told.
#include "support/ManifestServer.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"
#include "updates/ShareExperience.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace quindle;
using Scripted = test::ManifestServer::Scripted;

namespace {

QJsonObject bodyOf(const test::ManifestServer::Request &request) {
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class FeedbackTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        server.script("/api/feedback/request-otp", {200, R"({"ok":true,"expires_in":900})"});
        server.script("/api/feedback/verify-otp",
                      {200, R"({"ok":true,"token":"tok-1","expires_in":600})"});
        server.script("/api/feedback/submit", {200, R"({"ok":true,"id":"QF-1042"})"});
        model.form().email = "  sam@example.org ";
        model.form().name = "Sam";
        model.form().code = " ABCD-EFGH-IJKL-MN ";
    }
    void settle() {
        ASSERT_TRUE(
            test::waitUntil([&] { return model.running() == ShareExperience::Call::None; }, 20000));
    }
    void verified() {
        model.requestCode();
        settle();
        model.verify();
        settle();
        ASSERT_TRUE(model.verified()) << model.status().toStdString();
    }
    QString failureOf(const Scripted &answer) {
        server.script("/api/feedback/request-otp", answer);
        model.requestCode();
        settle();
        return model.status();
    }

    test::ManifestServer server{test::SignedManifest::make("key")};
    FeedbackClient client{{server.base(), std::chrono::seconds(15)}};
    ShareExperience model{client};
};

TEST(FeedbackTexts, TheCodesLifetimeReadsInWholeMinutesAtLeastOne) {
    const auto text = [](std::optional<qint64> seconds) {
        return ShareExperience::codeSentText("a@b.c", seconds);
    };
    EXPECT_EQ(text(900), "We emailed a 16-character code to a@b.c. Paste it above — it expires in "
                         "about 15 minutes.");
    EXPECT_TRUE(text(59).endsWith("about 1 minute."));
    EXPECT_TRUE(text(std::nullopt).endsWith("about 1 minute."));
    EXPECT_TRUE(text(120).endsWith("about 2 minutes."));
    EXPECT_TRUE(text(179).endsWith("about 2 minutes."));
}

TEST_F(FeedbackTest, TheServicesRefusalsReadAsTheServiceMeantThem) {
    EXPECT_EQ(failureOf({429, R"({"ok":false,"error":"rate_limited"})"}),
              "Couldn't send feedback (rate_limited (HTTP 429)).");
    EXPECT_EQ(failureOf({400, R"({"ok":false,"error":"bad_email","detail":"That address )"
                              R"(cannot receive mail."})"}),
              "Couldn't send feedback (That address cannot receive mail.).");
    EXPECT_EQ(failureOf({502, "<html><body>Bad gateway</body></html>", "text/html"}),
              "Couldn't send feedback (http_error (HTTP 502)).");
    EXPECT_EQ(failureOf({200, "not json"}), "Couldn't send feedback (decode_failed (HTTP 200)).");
    EXPECT_TRUE(model.statusIsError());

    server.script("/api/feedback/request-otp", {200, R"({"ok":true})"});
    server.script("/api/feedback/verify-otp", {200, R"({"ok":true,"expires_in":600})"});
    model.requestCode();
    settle();
    EXPECT_EQ(model.status(), "We emailed a 16-character code to sam@example.org. Paste it above "
                              "— it expires in about 1 minute.");
    model.verify();
    settle();
    EXPECT_EQ(model.status(), "Couldn't send feedback (decode_failed (HTTP 200)).")
        << "a token answer without a token";
    EXPECT_FALSE(model.verified());

    FeedbackClient closed{{QUrl("http://127.0.0.1:1/"), std::chrono::seconds(15)}};
    ShareExperience offline(closed);
    offline.requestCode();
    ASSERT_TRUE(test::waitUntil([&] { return offline.running() == ShareExperience::Call::None; }));
    EXPECT_EQ(offline.status(), "Couldn't send feedback (Connection refused).");
}

TEST_F(FeedbackTest, TheFlowSendsTrimmedValuesAndOnlyABugCarriesSeverityAndFrequency) {
    verified();
    model.form().category = "bug";
    model.form().severity = "high";
    model.form().frequency = "always";
    model.submit("<p>It <b>broke</b></p>", "It broke");
    settle();
    ASSERT_EQ(model.referenceId(), std::optional<QString>("QF-1042"));
    model.form().category = "suggestion";
    model.form().mobile = " +44 7700 900123 ";
    QString sentCategory;
    QObject::connect(&model, &ShareExperience::submitted,
                     [&](const QString &category) { sentCategory = category; });
    model.submit("<p>Idea</p>", "Idea");
    settle();
    EXPECT_EQ(sentCategory, "suggestion");

    ASSERT_EQ(server.requests().size(), 4);
    EXPECT_EQ(bodyOf(server.requests().at(0)), QJsonObject({{"email", "sam@example.org"}}));
    EXPECT_EQ(bodyOf(server.requests().at(1)),
              QJsonObject({{"email", "sam@example.org"}, {"code", "ABCD-EFGH-IJKL-MN"}}));
    const QJsonObject bug = bodyOf(server.requests().at(2));
    EXPECT_EQ(bug.keys(), QStringList({"affected_feature", "app_version", "category", "email",
                                       "frequency", "machine_info", "message_html", "message_plain",
                                       "name", "severity", "token"}));
    EXPECT_EQ(bug.value("token"), "tok-1");
    EXPECT_EQ(bug.value("severity"), "high");
    EXPECT_EQ(bug.value("frequency"), "always");
    EXPECT_EQ(bug.value("affected_feature"), "tier");
    EXPECT_EQ(bug.value("message_html"), "<p>It <b>broke</b></p>");
    const QJsonObject machine = bug.value("machine_info").toObject();
    EXPECT_EQ(machine.keys(), QStringList({"arch", "model", "os_version"}));
    EXPECT_FALSE(machine.value("model").toString().isEmpty()) << "\"unknown\" at the least";
    const QJsonObject suggestion = bodyOf(server.requests().at(3));
    EXPECT_FALSE(suggestion.contains("severity"));
    EXPECT_FALSE(suggestion.contains("frequency"));
    EXPECT_EQ(suggestion.value("mobile"), "+44 7700 900123");
    for (const auto &request : server.requests())
        EXPECT_TRUE(request.headers.contains("x-qd-version"));
}

TEST_F(FeedbackTest, AFailedOrExpiredSendKeepsTheReportAndSaysWhatToDo) {
    server.script("/api/feedback/verify-otp",
                  {200, R"({"ok":true,"token":"tok-1","expires_in":-1})"});
    verified(); // a token that ran out while the report was typed
    model.submit("<p>x</p>", "x");
    EXPECT_EQ(model.footerError(), "Your verification has expired. Send a new code to continue.");
    EXPECT_FALSE(model.verified());
    EXPECT_EQ(server.requests().size(), 2) << "an expired token is not sent";

    server.script("/api/feedback/verify-otp",
                  {200, R"({"ok":true,"token":"tok-2","expires_in":600})"});
    server.script("/api/feedback/submit",
                  {503, R"({"ok":false,"error":"maintenance","detail":"Back in ten minutes."})"});
    verified();
    model.submit("<p>x</p>", "x");
    settle();
    EXPECT_EQ(model.footerError(), "Couldn't send feedback (Back in ten minutes.).");
    EXPECT_TRUE(model.verified()) << "the same token can be tried again";
    EXPECT_EQ(model.form().name, "Sam");
}

TEST(FeedbackAddress, WithoutAnAddressNothingIsSentAndTheFormSaysWhy) {
    FeedbackClient client{{QUrl(), std::chrono::seconds(15)}};
    ShareExperience model(client);
    EXPECT_FALSE(model.configured());
    model.requestCode();
    ASSERT_TRUE(test::waitUntil([&] { return model.running() == ShareExperience::Call::None; }));
    EXPECT_EQ(model.status(), "Couldn't send feedback (Feedback can't be sent from this build: "
                              "no service address is configured.).");
}
