// quindle-swap exchanges two paths in one step, or says why not, touching neither.
#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace quindle;

namespace {

struct SwapRun {
    int exitCode;
    QString said;
};

SwapRun swap(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral(QUINDLE_SWAP), arguments);
    EXPECT_TRUE(process.waitForFinished(10000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class QuindleSwap : public test::TempHomeTest {};

TEST_F(QuindleSwap, ExchangesTwoFoldersOrAFolderAndAFileInOneStep) {
    QDir().mkpath(inHome("Quindle/bin"));
    QDir().mkpath(inHome(".quindle-update-1/bin"));
    test::writeText(inHome("Quindle/bin/version"), "old");
    test::writeText(inHome(".quindle-update-1/bin/version"), "new");
    EXPECT_EQ(swap({inHome("Quindle"), inHome(".quindle-update-1")}).exitCode, 0);
    EXPECT_EQ(test::readText(inHome("Quindle/bin/version")), "new");
    EXPECT_EQ(test::readText(inHome(".quindle-update-1/bin/version")), "old");

    test::writeText(inHome("note"), "a file");
    EXPECT_EQ(swap({inHome("Quindle"), inHome("note")}).exitCode, 0);
    EXPECT_EQ(test::readText(inHome("Quindle")), "a file");
    EXPECT_EQ(test::readText(inHome("note/bin/version")), "new");
}

TEST_F(QuindleSwap, AMissingPathOrWrongArgumentsChangeNothingAndSayWhy) {
    QDir().mkpath(inHome("Quindle"));
    const SwapRun missing = swap({inHome("Quindle"), inHome("nowhere")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.said.contains("cannot exchange")) << missing.said.toStdString();
    EXPECT_TRUE(missing.said.contains("No such file or directory")) << missing.said.toStdString();
    EXPECT_TRUE(QDir(inHome("Quindle")).exists());

    EXPECT_EQ(swap({inHome("Quindle")}).exitCode, 2);
    EXPECT_EQ(swap({}).exitCode, 2);
}
