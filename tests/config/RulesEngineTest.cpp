// The real service acting on what the Settings window's models save.
#include "core/PreferencesModel.h"
#include "core/RuleFloor.h"
#include "core/RulesArray.h"
#include "core/StatePaths.h"
#include "support/ServiceSandbox.h"
#include "support/TempHome.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace quindle;
using test::ServiceSandbox;

namespace {

// How far ahead the service's clock runs: everything made now is this many days old to it.
constexpr int kLater = 30;

} // namespace

class RulesEngineTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        if (!QFileInfo::exists("/usr/bin/faketime"))
            GTEST_SKIP() << "faketime is not installed";
        ASSERT_TRUE(drive.isValid());
        ServiceSandbox::install(drive.path());
        ASSERT_EQ(ServiceSandbox::prepareDrive(drive.path()), 0);
    }

    // A file `days` old to the service's clock, at most kLater.
    void entry(const QString &relative, int days, qint64 bytes = 1) {
        const QString path = inHome(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.resize(bytes);
        file.setFileTime(QDateTime::currentDateTime().addDays(kLater - days),
                         QFileDevice::FileModificationTime);
    }

    QString dryRun() {
        QString output;
        EXPECT_EQ(ServiceSandbox::runLater(kLater, {"dry-run"}, &output), 0)
            << output.toStdString();
        return output;
    }

    QTemporaryDir drive{QDir::tempPath() + "/quindle-drive-XXXXXX"};
};

TEST_F(RulesEngineTest, AWatchTickAndADryRunShowWhatTheModelsSavedAtThePanesAges) {
    PreferencesModel preferences;
    preferences.load();
    preferences.change([](Preferences &p) {
        p.hardFloorDays = 10;
        p.minDeleteDays = 20;
        p.quietMode = quietModes::smart;
        p.smartMinBattery = 25;
        p.scheduleRange = "9-12,14-18";
    });
    ASSERT_TRUE(preferences.save());

    for (const char *folder : {"Videos", "tmp", "Downloads"})
        QDir().mkpath(inHome(folder));
    RulesArray rules;
    rules.load();
    ASSERT_EQ(rules.add({"archive_old", inHome("Videos"), "", 3, ""}), std::nullopt);
    ASSERT_EQ(rules.add({"delete_old", inHome("tmp"), "", 5, ""}), std::nullopt);
    ASSERT_EQ(rules.add({"archive_big", inHome("Downloads"), drive.path() + "/Big", 12, "1M"}),
              std::nullopt);

    entry("Videos/trip/day-1.mp4", 15);
    entry("Videos/fresh/clip.mp4", 8); // older than the rule's 3 days, younger than the floor
    entry("tmp/a.log", 25);
    entry("tmp/b.log", 15); // past the hard floor, not the delete floor
    entry("Downloads/disc.iso", 14, 2'000'000);
    entry("Downloads/notes.txt", 14, 1000);

    QString tick;
    ASSERT_EQ(ServiceSandbox::run({"watch", "--once"}, &tick), 0) << tick.toStdString();
    QFile statusFile(paths::statusFile());
    ASSERT_TRUE(statusFile.open(QIODevice::ReadOnly));
    const QJsonObject status = QJsonDocument::fromJson(statusFile.readAll()).object();
    EXPECT_EQ(status.value("rule_count").toInt(), 3);
    EXPECT_EQ(status.value("quiet_mode").toString(), "smart");
    EXPECT_EQ(status.value("quiet_hours_blocked").toString(), "9-12,14-18");
    EXPECT_EQ(status.value("smart_min_battery").toInt(), 25);
    EXPECT_EQ(status.value("smart_respect_meetings").toBool(), true);

    // Each rule runs at the age the pane shows for it.
    QStringList ages;
    for (const RuleRow &row : rules.rows())
        ages << QString::number(*ruleFloor::effectiveAgeDays(row.record, preferences.values()));
    ASSERT_EQ(ages, QStringList({"10", "20", "12"}));
    const QString output = dryRun();
    const QString home = QDir(this->home()).canonicalPath();
    EXPECT_TRUE(output.contains("Rule 1 (archive_old): entries untouched for 10 days move from " +
                                home + "/Videos to " + QDir(drive.path()).canonicalPath() +
                                "/QNDL-Test-Box/Archive/Videos."))
        << output.toStdString();
    EXPECT_TRUE(output.contains("Rule 2 (delete_old): entries under " + home +
                                "/tmp untouched for 20 days go to the trash."));
    EXPECT_TRUE(output.contains("Rule 3 (archive_big): files over 1.0 MB untouched for 12 days"))
        << output.toStdString();
    EXPECT_TRUE(output.contains("Would move " + home + "/Videos/trip → "));
    EXPECT_FALSE(output.contains("/Videos/fresh"));
    EXPECT_TRUE(output.contains("Would move " + home + "/tmp/a.log to the trash"));
    EXPECT_FALSE(output.contains("b.log"));
    EXPECT_TRUE(output.contains("Would move " + home + "/Downloads/disc.iso → "));
    EXPECT_FALSE(output.contains("notes.txt"));

    // Raising the rules and turning deletes off is what the next pass does.
    ASSERT_EQ(rules.raiseAllBelowFloor(preferences.values().effectiveHardFloor()), std::nullopt);
    preferences.change([](Preferences &p) { p.disableDelete = true; });
    ASSERT_TRUE(preferences.save());
    const QString afterwards = dryRun();
    EXPECT_TRUE(afterwards.contains(
        "Rule 2 (delete_old) was skipped: deleting is turned off (DISABLE_DELETE=1)."));
    EXPECT_TRUE(afterwards.contains("Rule 1 (archive_old): entries untouched for 10 days"));
    EXPECT_FALSE(afterwards.contains("a.log"));
}
