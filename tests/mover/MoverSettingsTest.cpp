#include "mover/MoverSettings.h"
#include "platform/PreferencesLocation.h"
#include "support/TempHome.h"

#include <QSettings>

using namespace quindle;

namespace {

const QString kConcurrent = "quindle.mover.maxConcurrent";
const QString kLevel = "quindle.mover.verificationLevel";

} // namespace

class MoverSettingsTest : public test::TempHomeTest {
protected:
    void storeRaw(const QString &key, const QVariant &value) {
        QSettings settings(platform::preferencesFile(), QSettings::IniFormat);
        settings.setValue(key, value);
    }
    QVariant storedRaw(const QString &key) {
        return QSettings(platform::preferencesFile(), QSettings::IniFormat).value(key);
    }
};

TEST_F(MoverSettingsTest, ReadsStoredValuesLeniently) {
    ASSERT_TRUE(platform::preferencesFile().startsWith(home()));
    EXPECT_EQ(MoverSettings().maxConcurrent(), 5);
    EXPECT_EQ(MoverSettings().verificationLevel(), VerificationLevel::Fast);

    const struct {
        QVariant stored;
        int expected;
    } concurrency[] = {{0, 5}, {-3, 1}, {1, 1}, {7, 7}, {16, 16}, {40, 16}, {"many", 5}};
    for (const auto &row : concurrency) {
        storeRaw(kConcurrent, row.stored);
        EXPECT_EQ(MoverSettings().maxConcurrent(), row.expected)
            << row.stored.toString().toStdString();
    }

    const struct {
        const char *stored;
        VerificationLevel expected;
    } levels[] = {{"thorough", VerificationLevel::Thorough},
                  {"off", VerificationLevel::Off},
                  {"fast", VerificationLevel::Fast},
                  {"Thorough", VerificationLevel::Fast},
                  {"paranoid", VerificationLevel::Fast}};
    for (const auto &row : levels) {
        storeRaw(kLevel, QString::fromLatin1(row.stored));
        EXPECT_EQ(MoverSettings().verificationLevel(), row.expected) << row.stored;
    }
}

TEST_F(MoverSettingsTest, ConcurrencyIsClampedAndWrittenOnlyWhenItChanges) {
    MoverSettings settings;
    int changes = 0;
    QObject::connect(&settings, &MoverSettings::changed, [&] { ++changes; });

    settings.setMaxConcurrent(99);
    EXPECT_EQ(settings.maxConcurrent(), 16);
    EXPECT_EQ(storedRaw(kConcurrent).toInt(), 16);
    EXPECT_EQ(MoverSettings().maxConcurrent(), 16);
    settings.setMaxConcurrent(0);
    EXPECT_EQ(MoverSettings().maxConcurrent(), 1);
    EXPECT_EQ(changes, 2);

    // Clamps to the value it already has: nothing to write, nothing to announce.
    storeRaw(kConcurrent, 40);
    settings.setMaxConcurrent(-5);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(storedRaw(kConcurrent).toInt(), 40);
}

TEST_F(MoverSettingsTest, EveryLevelAssignmentIsWrittenButOnlyChangesAreAnnounced) {
    storeRaw(kLevel, "paranoid");
    MoverSettings settings;
    int changes = 0;
    QObject::connect(&settings, &MoverSettings::changed, [&] { ++changes; });

    settings.setVerificationLevel(VerificationLevel::Fast);
    EXPECT_EQ(storedRaw(kLevel).toString(), "fast");
    EXPECT_EQ(changes, 0);

    settings.setVerificationLevel(VerificationLevel::Off);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(storedRaw(kLevel).toString(), "off");
    EXPECT_EQ(MoverSettings().verificationLevel(), VerificationLevel::Off);
}
