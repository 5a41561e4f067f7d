#include "ui/ShareExperienceWindow.h"
#include "WindowFixture.h"
#include "support/ManifestServer.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

using namespace quindle;

class ShareExperienceWindowTest : public test::WindowTest {
protected:
    test::ManifestServer server{test::SignedManifest::make("key")};
    FeedbackClient client{{server.base(), std::chrono::seconds(15)}};
    ShareExperience model{client};
};

TEST_F(ShareExperienceWindowTest, TheWholeFormFromCodeToReferenceId) {
    server.script("/api/feedback/request-otp", {200, R"({"ok":true,"expires_in":900})"});
    server.script("/api/feedback/verify-otp",
                  {200, R"({"ok":true,"token":"tok","expires_in":600})"});
    server.script("/api/feedback/submit", {200, R"({"ok":true,"id":"QF-7"})"});
    ui::ShareExperienceWindow window(model);
    window.show();
    test::expectNamedControls(&window);
    auto *submit = test::control<QPushButton>(&window, "Send feedback");
    auto *verify = test::control<QPushButton>(&window, "Verify");
    EXPECT_FALSE(submit->isEnabled()) << "nothing is sent unverified";
    EXPECT_FALSE(verify->isEnabled()) << "no code asked for yet";

    QTest::keyClicks(test::control<QLineEdit>(&window, "Name"), "Sam");
    QTest::keyClicks(test::control<QLineEdit>(&window, "Email"), "sam@example.org");
    test::control<QPushButton>(&window, "Send verification code")->click();
    EXPECT_TRUE(test::showsLabel(&window, "We emailed a 16-character code to sam@example.org. "
                                          "Paste it above — it expires in about 15 minutes."));
    ASSERT_TRUE(test::control<QPushButton>(&window, "Resend code"));
    QTest::keyClicks(test::control<QLineEdit>(&window, "Verification code"), "ABCDEFGHIJKLMNOP");
    ASSERT_TRUE(test::waitUntil([&] { return verify->isEnabled(); }));
    verify->click();
    EXPECT_TRUE(test::showsLabel(&window, "Email verified — go ahead and send your feedback."));
    EXPECT_TRUE(test::showsLabel(&window, "Verified"));

    // A suggestion hides the bug's questions; its report goes without them.
    auto *category = test::control<QComboBox>(&window, "Category");
    category->setCurrentIndex(category->findData("suggestion"));
    EXPECT_FALSE(test::control<QComboBox>(&window, "Severity")->isVisibleTo(&window));
    auto *message = test::control<QTextEdit>(&window, "Message");
    message->setHtml("<p>Two <b>tabs</b> &amp; more</p><p>Second</p>");
    ASSERT_TRUE(test::waitUntil([&] { return submit->isEnabled(); }));
    submit->click();
    EXPECT_TRUE(test::showsLabel(&window, "Thank you — we received your message."));
    EXPECT_EQ(test::control<QLineEdit>(&window, "Reference ID")->text(), "QF-7");
    test::control<QPushButton>(&window, "Copy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "QF-7");

    const QJsonObject sent = QJsonDocument::fromJson(server.requests().last().body).object();
    EXPECT_EQ(sent.value("category"), "suggestion");
    EXPECT_FALSE(sent.contains("severity"));
    EXPECT_EQ(sent.value("message_plain"), "Two tabs & more\nSecond");
    const QString html = sent.value("message_html").toString();
    EXPECT_TRUE(html.startsWith("<p")) << html.toStdString();
    EXPECT_TRUE(html.contains("&amp; more")) << html.toStdString();
    EXPECT_FALSE(html.contains("<head") || html.contains("<style") || html.contains("<body"));
}

TEST_F(ShareExperienceWindowTest, EachButtonWaitsForItsCallAndClosingDropsIt) {
    server.script("/api/feedback/request-otp",
                  {200, {}, "application/json", test::ManifestServer::Scripted::Mode::Silence});
    auto window = std::make_unique<ui::ShareExperienceWindow>(model);
    window->show();
    QTest::keyClicks(test::control<QLineEdit>(window.get(), "Email"), "sam@example.org");
    auto *send = test::control<QPushButton>(window.get(), "Send verification code");
    send->click();
    EXPECT_FALSE(send->isEnabled());
    window->close();
    EXPECT_EQ(model.running(), ShareExperience::Call::None);
    EXPECT_TRUE(model.status().isEmpty()) << "a dropped call says nothing";
}

TEST(ShareExperienceHtml, OnlyTheBodysContentLeaves) {
    EXPECT_EQ(ui::ShareExperienceWindow::htmlFragment(
                  "<!DOCTYPE HTML><html><head><style>p{}</style></head><body style=\"x\">\n"
                  "<p>Hi</p></body></html>"),
              "<p>Hi</p>");
}
