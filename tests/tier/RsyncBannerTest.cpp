#include "TierFixture.h"

#include "platform/PreferencesLocation.h"
#include "tier/RsyncBanner.h"

#include <QSettings>

using namespace quindle;

class RsyncBannerTest : public test::TierTest {
protected:
    Toast reload(RsyncBanner &banner) {
        banner.reloadProbe();
        EXPECT_TRUE(banner.isReloading());
        EXPECT_TRUE(test::waitUntil([&] { return !banner.isReloading(); }));
        return toasts.value(toasts.size() - 1);
    }
};

TEST_F(RsyncBannerTest, ShowsWithoutGnuRsyncReportsReloadProbeAndRemembersItsDismissal) {
    pairing->setPaths(dir(inHome("App")), dir(drive + "/App"));
    pairing->pair();
    EXPECT_EQ(operations->arrowsDisabledReason(), std::nullopt);
    useRsync(inHome("no-such-rsync"));
    RsyncSupport::waitForProbe();
    EXPECT_EQ(operations->arrowsDisabledReason(),
              "GNU rsync 3.x is required — see the red banner above for install instructions.");

    RsyncBanner banner;
    QObject::connect(&banner, &RsyncBanner::toastPosted, [this](const Toast &t) { toasts << t; });
    EXPECT_TRUE(banner.isVisible());
    EXPECT_TRUE(RsyncBanner::detail().startsWith(
        "Move buttons are disabled until you install it via your package manager"));
    const Toast still = reload(banner);
    EXPECT_TRUE(still.text.startsWith("Still no GNU rsync — install via your package manager"));
    EXPECT_TRUE(still.text.endsWith(" and try again."));
    EXPECT_EQ(still.tone, Tone::Error);

    banner.dismiss();
    EXPECT_FALSE(RsyncBanner().isVisible());
    EXPECT_TRUE(QSettings(platform::preferencesFile(), QSettings::IniFormat)
                    .value("quindle.tworsync.banner.dismissed.v1")
                    .toBool());

    qunsetenv("QUINDLE_RSYNC");
    EXPECT_EQ(reload(banner), (Toast{"GNU rsync detected. Move buttons enabled.", Tone::Success}));
}
