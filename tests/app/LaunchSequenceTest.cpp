// The launch chain through its gates, with the facts it asks about answered by the test.
#include "support/CapturedMessages.h"
#include "support/ManifestServer.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include "app/AppContext.h"
#include "app/LaunchSequence.h"
#include "app/WindowRegistry.h"
#include "core/StatePaths.h"
#include "ui/LegalAcceptanceWindow.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

using namespace quindle;
using ui::WindowKind;

namespace {

struct Answers {
    bool address = false;
    bool update = false;
    bool accepted = false;
    bool installed = false;
};

class FakeFacts : public LaunchFacts {
public:
    explicit FakeFacts(Answers answers)
        : m_answers(answers) {}
    bool manifestAddressConfigured() const override { return m_answers.address; }
    SplashLimits splashLimits() const override { return SplashLimits().scaled(0.02); }
    QFuture<void> refreshManifest() override { return QtFuture::makeReadyFuture(); }
    bool updateGateNeeded() const override { return m_answers.update; }
    bool legalAccepted() override { return m_answers.accepted; }
    bool serviceInstalled() const override { return m_answers.installed; }

private:
    Answers m_answers;
};

QPushButton *button(QWidget *window, const QString &text) {
    for (QPushButton *candidate : window->findChildren<QPushButton *>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

} // namespace

class LaunchSequenceTest : public test::TempHomeTest {
protected:
    void launch(Answers answers) {
        chain = std::make_unique<LaunchSequence>(context, windows,
                                                 std::make_unique<FakeFacts>(answers));
        quit = std::make_unique<QSignalSpy>(chain.get(), &LaunchSequence::quitRequested);
        chain->start();
    }
    // As the person does with the title bar's button; the window goes at once.
    void closeByHand(WindowKind kind) {
        windows.window(kind)->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    bool opened(WindowKind kind) {
        return test::waitUntil([&] { return windows.window(kind) != nullptr; }, 20000);
    }

    test::CapturedMessages log;
    AppContext context;
    WindowRegistry windows;
    std::unique_ptr<LaunchSequence> chain;
    std::unique_ptr<QSignalSpy> quit;
};

TEST_F(LaunchSequenceTest, EachGateComesInItsOrderAndOnlyWhenNeeded) {
    launch({.update = true});
    ASSERT_TRUE(opened(WindowKind::UpdatePrompt));
    EXPECT_TRUE(log.contains("Splash: no manifest address configured — skipping"));
    EXPECT_EQ(log.startingWith("Quindle: "),
              QStringList{"Quindle: update available — showing UpdateRequiredPrompt before "
                          "legal/FDA/setup"});
    EXPECT_EQ(windows.window(WindowKind::LegalAcceptance), nullptr);
    chain.reset();
    windows.close(WindowKind::UpdatePrompt);

    launch({});
    ASSERT_TRUE(opened(WindowKind::LegalAcceptance));
    EXPECT_TRUE(log.contains("Quindle: legal acceptance needed — showing LegalAcceptance"));
    EXPECT_EQ(windows.window(WindowKind::SetupWizard), nullptr);

    // Accepting moves on to setup; a gate that moves on never quits.
    Q_EMIT qobject_cast<ui::LegalAcceptanceWindow *>(windows.window(WindowKind::LegalAcceptance))
        ->accepted();
    ASSERT_TRUE(opened(WindowKind::SetupWizard));
    EXPECT_EQ(windows.window(WindowKind::LegalAcceptance), nullptr);
    EXPECT_TRUE(log.contains("Quindle: service not installed — showing SetupWizard"));
    EXPECT_EQ(quit->count(), 0);
}

TEST_F(LaunchSequenceTest, ClosingAGateQuitsWithItsLineAndQuitIsQuit) {
    launch({});
    ASSERT_TRUE(opened(WindowKind::LegalAcceptance));
    closeByHand(WindowKind::LegalAcceptance);
    ASSERT_TRUE(test::waitUntil([&] { return quit->count() == 1; }));
    EXPECT_TRUE(log.contains("Quindle: LegalAcceptance — closed via X, terminating"));

    launch({.update = true});
    ASSERT_TRUE(opened(WindowKind::UpdatePrompt));
    closeByHand(WindowKind::UpdatePrompt);
    ASSERT_TRUE(test::waitUntil([&] { return quit->count() == 1; }));
    EXPECT_TRUE(log.contains("Quindle: UpdateRequiredPrompt — closed via X, terminating"));

    launch({.update = true});
    ASSERT_TRUE(opened(WindowKind::UpdatePrompt));
    button(windows.window(WindowKind::UpdatePrompt), "Quit Quindle")->click();
    ASSERT_TRUE(test::waitUntil([&] { return quit->count() == 1; }));
    EXPECT_TRUE(log.contains("Quindle: UpdateRequiredPrompt — user quit instead of updating"));
}

TEST_F(LaunchSequenceTest, TheSplashComesFirstGoesByItselfAndItsCancelQuits) {
    launch({.address = true});
    ASSERT_NE(chain->splashWindow(), nullptr);
    EXPECT_TRUE(log.contains("Splash: SplashWindow.show() called"));
    EXPECT_TRUE(chain->splashWindow()->isVisible());
    EXPECT_EQ(windows.window(WindowKind::LegalAcceptance), nullptr);
    // Nothing answers at the test addresses: offline, then the chain goes on.
    ASSERT_TRUE(opened(WindowKind::LegalAcceptance));
    EXPECT_EQ(chain->splashWindow(), nullptr);
    EXPECT_EQ(quit->count(), 0);

    chain.reset();
    windows.close(WindowKind::LegalAcceptance);
    launch({.address = true});
    button(chain->splashWindow(), "Cancel")->click();
    EXPECT_EQ(quit->count(), 1);
    EXPECT_TRUE(log.contains("Splash: Cancel button tapped — terminating app"));
}

// The real facts and the real update gate, against a loopback server.
class LaunchWithServer : public test::TempHomeTest {
protected:
    void serve(const test::SignedManifest &manifest) {
        server = std::make_unique<test::ManifestServer>(manifest);
        qputenv("QUINDLE_MANIFEST_URL", server->address().toEncoded());
    }
    void TearDown() override {
        qputenv("QUINDLE_MANIFEST_URL", QUINDLE_TEST_CLOSED_ADDRESS);
        TempHomeTest::TearDown();
    }
    std::unique_ptr<test::ManifestServer> server;
    test::CapturedMessages log;
};

TEST_F(LaunchWithServer, ACachedNewerVersionAloneNeverShowsTheUpdateGate) {
    const test::SignedManifest newer = test::SignedManifest::make(QUINDLE_TEST_SIGNING_KEY);
    test::writeText(paths::manifestCacheFile(), newer.good);
    AppContext context; // the closed address: the refresh fails
    RealLaunchFacts facts(context);
    ASSERT_TRUE(context.manifest.updateAvailable());
    const QFuture<void> refreshed = facts.refreshManifest();
    ASSERT_TRUE(test::waitUntil([&] { return refreshed.isFinished(); }, 20000));
    EXPECT_FALSE(facts.updateGateNeeded());

    serve(newer);
    AppContext fresh;
    RealLaunchFacts online(fresh);
    const QFuture<void> fetched = online.refreshManifest();
    ASSERT_TRUE(test::waitUntil([&] { return fetched.isFinished(); }, 20000));
    EXPECT_TRUE(online.updateGateNeeded());
}

TEST_F(LaunchWithServer, AReCheckThatFindsThisBuildCurrentMovesOnToTheLegalGate) {
    serve(test::SignedManifest::make(QUINDLE_TEST_SIGNING_KEY, "0.0.1"));
    AppContext context;
    // The gate shows what the launch fetched; the server has since put out a fix.
    const QFuture<void> fetched = context.manifest.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return fetched.isFinished(); }, 20000));
    WindowRegistry windows;
    LaunchSequence chain(context, windows, std::make_unique<FakeFacts>(Answers{.update = true}));
    QSignalSpy quit(&chain, &LaunchSequence::quitRequested);
    chain.start();
    ASSERT_TRUE(test::waitUntil([&] { return windows.window(WindowKind::UpdatePrompt); }));
    button(windows.window(WindowKind::UpdatePrompt), "Update Now")->click();
    ASSERT_TRUE(test::waitUntil([&] { return windows.window(WindowKind::LegalAcceptance); }));
    EXPECT_EQ(windows.window(WindowKind::UpdatePrompt), nullptr);
    EXPECT_TRUE(log.contains("Quindle: UpdateRequiredPrompt — re-check confirmed installed build "
                             "is current; dismissing gate"));
    EXPECT_EQ(quit.count(), 0);
}
