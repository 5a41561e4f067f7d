#include "support/ServiceSandbox.h"

#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace quindle::test {

namespace {

QString sourceService() {
    return QStringLiteral(QUINDLE_SOURCE_DIR "/service");
}
QString quindleDir() {
    return qEnvironmentVariable("HOME") + "/.quindle";
}

int runBash(const QStringList &arguments, const QProcessEnvironment &environment, QString *output) {
    QProcess bash;
    bash.setProcessEnvironment(environment);
    bash.setProcessChannelMode(QProcess::MergedChannels);
    bash.start("/bin/bash", arguments);
    bash.waitForFinished(60000);
    if (output)
        *output = QString::fromUtf8(bash.readAll());
    return bash.exitStatus() == QProcess::NormalExit ? bash.exitCode() : -1;
}

} // namespace

void ServiceSandbox::install(const QString &drive, const QStringList &extraConfigLines) {
    qputenv("QUINDLE_MACHINE_NAME", "Test Box");
    QDir().mkpath(quindleDir() + "/state");
    for (const QString &script : QDir(sourceService()).entryList({"*.sh"}, QDir::Files)) {
        QFile::remove(quindleDir() + u'/' + script);
        ASSERT_TRUE(QFile::copy(sourceService() + u'/' + script, quindleDir() + u'/' + script));
    }
    QString config = QString::fromUtf8(readText(sourceService() + "/quindle.conf"));
    ASSERT_FALSE(drive.contains(u'\''));
    config.replace("NVMe=\"__NVME_DEFAULT__\"", QStringLiteral("NVMe='%1'").arg(drive));
    // A tick starts the daily rules pass at its hour; the sandbox's ticks only report.
    config += QStringLiteral("\nNVME_REQUIRE_MOUNTPOINT=0\nAUTO_RELOCATE_DAILY=0\n") +
              extraConfigLines.join(u'\n');
    writeText(quindleDir() + "/quindle.conf", config.toUtf8());
}

int ServiceSandbox::run(const QStringList &arguments, QString *output) {
    return runBash(QStringList{quindleDir() + "/quindle.sh"} + arguments,
                   QProcessEnvironment::systemEnvironment(), output);
}

int ServiceSandbox::runLater(int days, const QStringList &arguments, QString *output) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // $LIB is the dynamic loader's own. The first program loaded with the library keeps the real
    // clock, so bash execs the script; rsync keeps it too, as the times it copies would shift.
    environment.insert("LD_PRELOAD", "/usr/$LIB/faketime/libfaketime.so.1");
    environment.insert("FAKETIME", QStringLiteral("+%1d").arg(days));
    environment.insert("FAKETIME_SKIP_CMDS", "rsync");
    return runBash(
        QStringList{"-c", "exec \"$@\"", "faked", "/bin/bash", quindleDir() + "/quindle.sh"} +
            arguments,
        environment, output);
}

int ServiceSandbox::prepareDrive(const QString &drive) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("NVMe", drive);
    return runBash({quindleDir() + "/2-prep-nvme.sh", "--auto"}, environment, nullptr);
}

} // namespace quindle::test
