#include "apps/AppSafety.h"
#include "apps/AppEntry.h"

#include <gtest/gtest.h>

using namespace quindle;
using Kind = AppSafetyVerdict::Kind;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 3, 10), QTime(12, 0));

AppEntry app(const QString &name) {
    AppEntry entry;
    entry.path = QStringLiteral("/apps/") + name;
    entry.root = "/apps";
    entry.displayName = name;
    entry.id = entry.path;
    return entry;
}

AppEntry usedDaysAgo(AppEntry entry, int days) {
    entry.lastUsedAt = kNow.addDays(-days);
    return entry;
}

} // namespace

TEST(AppVerdicts, TheFirstRuleThatAppliesWins) {
    AppEntry everything = usedDaysAgo(app("All"), 1);
    everything.bundleID = "org.all";
    everything.isRunning = true;
    everything.packageOwner = "all-pkg";
    everything.privilegedProgram = "/apps/All/helper";
    everything.accessProblem = "Quindle can't read /apps/All/x, so it could not "
                               "prove the copy.";
    AppDesktopFacts facts{{"org.all"}, {{everything.path, "all.service"}}};

    QStringList messages;
    const auto peel = [&](auto strip) {
        messages << evaluate(everything, facts, kNow).message;
        strip();
    };
    everything.isMovedSymlink = true;
    peel([&] { everything.isMovedSymlink = false; });
    peel([&] { everything.packageOwner.reset(); });
    peel([&] { everything.isRunning = false; });
    peel([&] { everything.privilegedProgram.reset(); });
    peel([&] { facts.startupFiles.clear(); });
    peel([&] { everything.accessProblem.reset(); });
    peel([&] { facts.favouriteIDs.clear(); });
    peel([] {});
    EXPECT_EQ(messages,
              QStringList({
                  "Already relocated to NVMe. Use the Moved tab to bring it back.",
                  "Installed by the package manager (all-pkg) — it may update the app at the "
                  "original /apps path.",
                  "Currently running. Quit All and refresh, then try again.",
                  "Contains a privileged program (/apps/All/helper) that would lose its "
                  "privileges on the NVMe.",
                  "Has a systemd unit or autostart entry pointing into the folder (all.service).",
                  "Quindle can't read /apps/All/x, so it could not prove the copy.",
                  "Pinned to your dock or panel — the launcher keeps working through the link, "
                  "but not while the NVMe is unplugged.",
                  "Used 1 day ago — you might still need it.",
              }));
    everything.lastUsedAt.reset();
    EXPECT_EQ(evaluate(everything, facts, kNow), AppSafetyVerdict{});

    AppEntry own = app("Quindle");
    own.isOwnInstall = true;
    own.isRunning = true;
    EXPECT_EQ(evaluate(own, {}, kNow).message,
              "Quindle runs from this folder, so it cannot move itself.");
}

TEST(AppVerdicts, RecentUseIsACautionUpToSixDays) {
    const struct {
        int days;
        Kind kind;
        const char *message;
    } cases[] = {
        {0, Kind::Caution, "Used 0 days ago — you might still need it."},
        {6, Kind::Caution, "Used 6 days ago — you might still need it."},
        {7, Kind::Ok, ""},
        {-3, Kind::Caution, "Used 0 days ago — you might still need it."}, // clock set back
    };
    for (const auto &c : cases) {
        const AppSafetyVerdict verdict = evaluate(usedDaysAgo(app("A"), c.days), {}, kNow);
        EXPECT_EQ(verdict.kind, c.kind) << c.days;
        EXPECT_EQ(verdict.message, QString::fromUtf8(c.message)) << c.days;
    }
    AppEntry pinnedByPath = app("NoLauncher");
    EXPECT_EQ(evaluate(pinnedByPath, {{pinnedByPath.path}, {}}, kNow).kind, Kind::Ok)
        << "favourites are launcher IDs, never paths";
}

TEST(AppListing, LabelsAndOrderFollowTheLastUse) {
    const struct {
        std::optional<int> days;
        const char *label;
    } cases[] = {{std::nullopt, "Never used"}, {0, "Today"},         {1, "Yesterday"},
                 {29, "29 days ago"},          {30, "1 months ago"}, {364, "12 months ago"},
                 {365, "1 years ago"},         {800, "2 years ago"}};
    for (const auto &c : cases) {
        AppEntry entry = app("A");
        if (c.days)
            entry = usedDaysAgo(entry, *c.days);
        EXPECT_EQ(entry.lastUsedLabel(kNow), QString::fromUtf8(c.label));
    }

    QList<AppEntry> entries{usedDaysAgo(app("Recent"), 2), app("beta"), usedDaysAgo(app("Old"), 90),
                            app("Alpha")};
    sortForListing(entries);
    QStringList names;
    for (const AppEntry &entry : entries)
        names << entry.displayName;
    EXPECT_EQ(names, QStringList({"Alpha", "beta", "Old", "Recent"}));
}
