// `quindle legal status` as a person runs it: the real binary, built and installed.
#include "core/Installer.h"
#include "core/LegalAcceptance.h"
#include "core/NVMeShadow.h"
#include "support/CommandRun.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace quindle;

using test::CommandRun;
using test::runCommand;

class LegalCommand : public test::TempHomeTest {
protected:
    CommandRun status(const QString &binary = QStringLiteral(QUINDLE_BINARY)) {
        return runCommand(binary, {"legal", "status"});
    }
    QString recordFile() const { return NVMeShadow::internalPath(LegalAcceptance::basename()); }
    void forgetHash(const QString &baseName) {
        QJsonObject record = QJsonDocument::fromJson(test::readText(recordFile())).object();
        QJsonObject documents = record.value("documents").toObject();
        documents.insert(baseName, QJsonObject{{"version", "1.0"}, {"sha256", QString(64, '0')}});
        record.insert("documents", documents);
        test::writeText(recordFile(), QJsonDocument(record).toJson());
    }
};

TEST_F(LegalCommand, SaysWhetherAndWhatChanged) {
    CommandRun result = status();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "not accepted\n");

    ASSERT_TRUE(LegalAcceptance(Installer::bundledLegalFolder()).recordAcceptance());
    result = status();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "accepted\n");

    forgetHash("PRIVACY-POLICY");
    forgetHash("TERMS-OF-SERVICE");
    result = status();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "not accepted\n"
                          "Updated since your last acceptance: Terms of Service, Privacy Policy\n");
}

TEST_F(LegalCommand, AcceptingIsNotACommand) {
    const CommandRun result = runCommand(QStringLiteral(QUINDLE_BINARY), {"legal", "accept"});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.err.contains("Usage: quindle legal status"));
    EXPECT_FALSE(QFileInfo::exists(recordFile()));
}

// The installed program reads the documents installed beside it, not the source tree's.
TEST_F(LegalCommand, AnInstallationReadsItsOwnDocuments) {
    const QString prefix = inHome("opt/Quindle");
    const CommandRun install =
        runCommand(QStringLiteral(CMAKE_COMMAND),
                   {"--install", QStringLiteral(BUILD_DIR), "--prefix", prefix});
    ASSERT_EQ(install.status, 0) << install.out.toStdString() << install.err.toStdString();
    const QString binary = prefix + "/bin/quindle";
    EXPECT_TRUE(QFileInfo(prefix + "/Resources/Scripts/quindle.sh").isFile());
    EXPECT_TRUE(QFileInfo(prefix + "/Resources/Legal/THIRD-PARTY-NOTICES.md").isFile());

    ASSERT_TRUE(
        LegalAcceptance(QStringLiteral(QUINDLE_SOURCE_DIR "/resources/Legal")).recordAcceptance());
    EXPECT_EQ(status(binary).out, "accepted\n");
    test::writeText(prefix + "/Resources/Legal/DISCLAIMER.md", "# Disclaimer\n\nVersion: 2.0\n");
    const CommandRun result = status(binary);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "not accepted\nUpdated since your last acceptance: Disclaimer\n");
}
