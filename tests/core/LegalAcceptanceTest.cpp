#include "core/LegalAcceptance.h"
#include "core/DriveIdentity.h"
#include "core/JsonFormat.h"
#include "core/NVMeShadow.h"
#include "core/StatePaths.h"
#include "platform/MachineFingerprint.h"
#include "support/CapturedMessages.h"
#include "support/ServiceSandbox.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>

#include <sys/stat.h>

using namespace quindle;

namespace {

const QString kShipped = QStringLiteral(QUINDLE_SOURCE_DIR "/resources/Legal");

// The permission bits, as ls shows them in octal.
unsigned mode(const QString &path) {
    struct stat status {};
    return stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

class LegalAcceptanceTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        for (const QString &file : QDir(kShipped).entryList({"*.md"}))
            ASSERT_TRUE(QFile::copy(kShipped + u'/' + file, documents(file)));
    }
    QString documents(const QString &file = {}) const {
        QDir().mkpath(inHome("Legal"));
        return file.isEmpty() ? inHome("Legal") : inHome("Legal/" + file);
    }
    QString recordFile() const { return NVMeShadow::internalPath(LegalAcceptance::basename()); }
    QJsonObject writtenRecord() const {
        return QJsonDocument::fromJson(test::readText(recordFile())).object();
    }
    void rewriteRecord(const std::function<void(QJsonObject &)> &edit) {
        QJsonObject record = writtenRecord();
        edit(record);
        test::writeText(recordFile(), QJsonDocument(record).toJson());
    }
    // A drive prepared the way the setup wizard does it, named by the service's status.
    QString preparedDrive() {
        const QString drive = inHome("NVMe");
        QDir().mkpath(drive);
        test::ServiceSandbox::install(drive);
        EXPECT_EQ(test::ServiceSandbox::prepareDrive(drive), 0);
        test::writeText(paths::statusFile(), canonicalJson({{"nvme_path", drive}}));
        return drive;
    }
};

TEST_F(LegalAcceptanceTest, AcceptingRecordsWhoWhenAndWhatPrivately) {
    LegalAcceptance legal(documents());
    EXPECT_FALSE(legal.record());
    EXPECT_FALSE(legal.hasAcceptedCurrent());
    EXPECT_TRUE(legal.changedSinceLast().isEmpty()); // nothing accepted, so nothing updated
    ASSERT_EQ(legal.bundledSnapshots().size(), 3);

    int changes = 0;
    QObject::connect(&legal, &LegalAcceptance::changed, [&] { ++changes; });
    setEnv("USER", "sam");
    const QDateTime before = nowUtc();
    ASSERT_TRUE(legal.recordAcceptance());
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(legal.hasAcceptedCurrent());

    const QByteArray written = test::readText(recordFile());
    EXPECT_EQ(written, canonicalJson(QJsonDocument::fromJson(written).object()));
    EXPECT_EQ(mode(recordFile()), 0600u);
    const QJsonObject record = writtenRecord();
    EXPECT_EQ(record.value("version").toInt(), 1);
    EXPECT_EQ(record.value("acceptedByUsername").toString(), "sam");
    EXPECT_EQ(record.value("language").toString(), QLocale::system().name());
    EXPECT_EQ(record.contains("deviceUUID"), platform::machineUUID().has_value());
    EXPECT_FALSE(record.contains("withdrawnAt"));
    const std::optional<QDateTime> acceptedAt = parseIsoDate(record.value("acceptedAt").toString());
    ASSERT_TRUE(acceptedAt);
    EXPECT_GE(*acceptedAt, before);
    EXPECT_EQ(record.value("documents").toObject().keys(),
              QStringList({"DISCLAIMER", "PRIVACY-POLICY", "TERMS-OF-SERVICE"}));

    // What was written reads back as what is held, and a fresh start agrees.
    LegalAcceptance again(documents());
    EXPECT_EQ(again.record(), legal.record());
    EXPECT_TRUE(again.hasAcceptedCurrent());
}

TEST_F(LegalAcceptanceTest, AOneByteChangeAsksAgainForThatDocumentOnly) {
    ASSERT_TRUE(LegalAcceptance(documents()).recordAcceptance());
    QByteArray privacy = test::readText(documents("PRIVACY-POLICY.md"));
    privacy[privacy.size() / 2] = privacy[privacy.size() / 2] == 'x' ? 'y' : 'x';
    test::writeText(documents("PRIVACY-POLICY.md"), privacy);

    LegalAcceptance legal(documents());
    EXPECT_FALSE(legal.hasAcceptedCurrent());
    EXPECT_EQ(legal.changedSinceLast(), QList<LegalDocument>{LegalDocument::Privacy});
}

TEST_F(LegalAcceptanceTest, OnlyTheBytesCountNotTheVersionsNorAWithdrawal) {
    ASSERT_TRUE(LegalAcceptance(documents()).recordAcceptance());
    rewriteRecord([](QJsonObject &record) {
        QJsonObject snapshots = record.value("documents").toObject();
        for (const QString &name : snapshots.keys()) {
            QJsonObject snapshot = snapshots.value(name).toObject();
            snapshot.insert("version", "0.9-old");
            snapshots.insert(name, snapshot);
        }
        record.insert("documents", snapshots);
    });
    LegalAcceptance legal(documents());
    EXPECT_TRUE(legal.hasAcceptedCurrent());
    EXPECT_TRUE(legal.changedSinceLast().isEmpty());

    rewriteRecord(
        [](QJsonObject &record) { record.insert("withdrawnAt", "2026-01-02T03:04:05Z"); });
    legal.refresh();
    EXPECT_FALSE(legal.hasAcceptedCurrent());
    EXPECT_TRUE(legal.changedSinceLast().isEmpty());
}

TEST_F(LegalAcceptanceTest, ADamagedRecordOrAMissingDocumentIsNoAcceptance) {
    ASSERT_TRUE(LegalAcceptance(documents()).recordAcceptance());
    const QByteArray good = test::readText(recordFile());
    const auto damaged = [&](const std::function<void(QJsonObject &)> &edit) {
        QJsonObject record = QJsonDocument::fromJson(good).object();
        edit(record);
        return QJsonDocument(record).toJson();
    };
    const QList<std::pair<const char *, QByteArray>> records{
        {"not JSON", "{\"version\": 1,"},
        {"no acceptedAt", damaged([](QJsonObject &r) { r.remove("acceptedAt"); })},
        {"no language", damaged([](QJsonObject &r) { r.remove("language"); })},
        {"no documents", damaged([](QJsonObject &r) { r.remove("documents"); })},
        {"a date of another shape",
         damaged([](QJsonObject &r) { r.insert("acceptedAt", "today"); })},
        {"a snapshot without its hash", damaged([](QJsonObject &r) {
             QJsonObject snapshots = r.value("documents").toObject();
             snapshots.insert("DISCLAIMER", QJsonObject{{"version", "1.0"}});
             r.insert("documents", snapshots);
         })},
    };
    for (const auto &[what, bytes] : records) {
        test::writeText(recordFile(), bytes);
        LegalAcceptance legal(documents());
        EXPECT_FALSE(legal.record()) << what;
        EXPECT_FALSE(legal.hasAcceptedCurrent()) << what;
    }

    test::writeText(recordFile(), good);
    ASSERT_TRUE(QFile::remove(documents("DISCLAIMER.md")));
    LegalAcceptance legal(documents());
    EXPECT_TRUE(legal.record());
    EXPECT_FALSE(legal.hasAcceptedCurrent());
    EXPECT_FALSE(legal.bundledText(LegalDocument::Disclaimer));
    EXPECT_FALSE(legal.bundleUrl(LegalDocument::Disclaimer));
    EXPECT_FALSE(legal.bundledSnapshots().contains(LegalDocument::Disclaimer));
}

TEST_F(LegalAcceptanceTest, DocumentsAtTheTopOfTheResourcesServeWhenTheFolderHasNone) {
    ASSERT_TRUE(QFile::rename(documents("TERMS-OF-SERVICE.md"), inHome("TERMS-OF-SERVICE.md")));
    LegalAcceptance legal(documents());
    EXPECT_EQ(legal.bundleUrl(LegalDocument::Terms),
              QUrl::fromLocalFile(inHome("TERMS-OF-SERVICE.md")));
    EXPECT_EQ(legal.bundledSnapshots().size(), 3);
}

TEST_F(LegalAcceptanceTest, HashesAreWhatSha256sumPrints) {
    LegalAcceptance legal(documents());
    for (LegalDocument document : legalDocuments()) {
        QProcess sha256sum;
        sha256sum.start("sha256sum", {legal.bundleUrl(document)->toLocalFile()});
        ASSERT_TRUE(sha256sum.waitForFinished(30000));
        const QString printed =
            QString::fromLatin1(sha256sum.readAllStandardOutput()).section(' ', 0, 0);
        EXPECT_EQ(legal.bundledSnapshots().value(document).sha256, printed);
        EXPECT_EQ(legal.bundledSnapshots().value(document).version, "1.0");
    }
}

TEST(LegalVersionLine, IsAmongTheFirstTwentyNonEmptyLines) {
    const auto lines = [](int count) {
        QString text;
        for (int i = 1; i <= count; ++i)
            text += QStringLiteral("Line %1\n\n").arg(i);
        return text;
    };
    EXPECT_EQ(parseVersion(lines(19) + "Version: 2.1\n"), "2.1");
    EXPECT_EQ(parseVersion(lines(20) + "Version: 2.1\n"), std::nullopt);
    EXPECT_EQ(parseVersion("# Terms\r\n\r\n  VERSION:   Beta 3 \r\n"), "Beta 3");
    EXPECT_EQ(parseVersion("version:2.1\nVersion: 3.0\n"), "2.1");
    EXPECT_EQ(parseVersion("The version: here is not at the start.\n"), std::nullopt);
    EXPECT_EQ(LegalDocumentSnapshot::of("# Terms\nNo version here.\n").version, "0.0.0");
}

TEST_F(LegalAcceptanceTest, ARecordOnlyOnTheDrivesMirrorCounts) {
    const QString drive = preparedDrive();
    ASSERT_TRUE(LegalAcceptance(documents()).recordAcceptance());
    const QString mirror = WorkingFolder::path(drive) + "/Quindle-State/legal-acceptance.json";
    EXPECT_EQ(NVMeShadow::shadowPath(LegalAcceptance::basename()), mirror);
    EXPECT_EQ(test::readText(mirror), test::readText(recordFile()));
    EXPECT_EQ(mode(mirror), 0600u);

    ASSERT_TRUE(QFile::remove(recordFile()));
    EXPECT_TRUE(LegalAcceptance(documents()).hasAcceptedCurrent());

    // An unreadable internal copy is no record, even with a good mirror.
    test::writeText(recordFile(), "garbage");
    EXPECT_FALSE(LegalAcceptance(documents()).record());

    NVMeShadow::remove(LegalAcceptance::basename());
    EXPECT_FALSE(QFileInfo::exists(mirror));
    EXPECT_FALSE(QFileInfo::exists(recordFile()));
}

TEST_F(LegalAcceptanceTest, AFailingDriveOnlySkipsTheMirrorAFailingStateFolderFails) {
    const QString drive = preparedDrive();
    // A file where the mirror's folder belongs.
    test::writeText(WorkingFolder::path(drive) + "/Quindle-State", "in the way");
    const QString mirror = *NVMeShadow::shadowPath("notes.json");
    test::CapturedMessages warnings;
    EXPECT_TRUE(NVMeShadow::write("{}", "notes.json", ShadowPolicy::Mirror));
    EXPECT_EQ(warnings.startingWith("Quindle: shadow mirror to " + mirror + " failed: ").size(), 1);
    EXPECT_EQ(test::readText(NVMeShadow::internalPath("notes.json")), "{}");

    // Without a drive path that exists there is no mirror to try.
    QDir(drive).removeRecursively();
    EXPECT_EQ(NVMeShadow::shadowPath("notes.json"), std::nullopt);

    // A state folder that cannot be made fails the write itself.
    QDir(paths::stateDirectory()).removeRecursively();
    test::writeText(paths::stateDirectory(), "in the way");
    EXPECT_FALSE(NVMeShadow::write("{}", "notes.json", ShadowPolicy::Mirror));
    EXPECT_EQ(warnings.startingWith("Quindle: failed to persist notes.json: ").size(), 1);
}
