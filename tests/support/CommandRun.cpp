#include "support/CommandRun.h"

#include "support/WaitUntil.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace quindle::test {

CommandRun runCommand(const QString &program, const QStringList &arguments,
                      const QProcessEnvironment &environment, const QString &workingDirectory,
                      const QByteArray &input) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 120000))
        << program.toStdString();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace quindle::test
