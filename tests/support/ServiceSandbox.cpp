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
    return qEnvironmentVariable("HOME") + QStringLiteral("/.quindle");
}

int runBash(const QStringList &arguments, const QProcessEnvironment &environment, QString *output) {
    QProcess bash;
    bash.setProcessEnvironment(environment);
    bash.setProcessChannelMode(QProcess::MergedChannels);
    bash.start(QStringLiteral("/bin/bash"), arguments);
    bash.waitForFinished(60000);
    if (output)
        *output = QString::fromUtf8(bash.readAll());
    return bash.exitStatus() == QProcess::NormalExit ? bash.exitCode() : -1;
}

} // namespace

void ServiceSandbox::install(const QString &drive, const QStringList &extraConfigLines) {
    qputenv("QUINDLE_MACHINE_NAME", "Test Box");
    QDir().mkpath(quindleDir() + QStringLiteral("/state"));
    for (const QString &script :
         QDir(sourceService()).entryList({QStringLiteral("*.sh")}, QDir::Files)) {
        QFile::remove(quindleDir() + QLatin1Char('/') + script);
        ASSERT_TRUE(QFile::copy(sourceService() + QLatin1Char('/') + script,
                                quindleDir() + QLatin1Char('/') + script));
    }
    QString config = QString::fromUtf8(readText(sourceService() + QStringLiteral("/quindle.conf")));
    ASSERT_FALSE(drive.contains(QLatin1Char('\'')));
    config.replace(QStringLiteral("NVMe=\"__NVME_DEFAULT__\""),
                   QStringLiteral("NVMe='%1'").arg(drive));
    // A tick starts the daily rules pass at its hour; the sandbox's ticks only report.
    config += QStringLiteral("\nNVME_REQUIRE_MOUNTPOINT=0\nAUTO_RELOCATE_DAILY=0\n") +
              extraConfigLines.join(QLatin1Char('\n'));
    writeText(quindleDir() + QStringLiteral("/quindle.conf"), config.toUtf8());
}

int ServiceSandbox::run(const QStringList &arguments, QString *output) {
    return runBash(QStringList{quindleDir() + QStringLiteral("/quindle.sh")} + arguments,
                   QProcessEnvironment::systemEnvironment(), output);
}

int ServiceSandbox::runLater(int days, const QStringList &arguments, QString *output) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // $LIB is the dynamic loader's own. The first program loaded with the library keeps the real
    // clock, so bash execs the script; rsync keeps it too, as the times it copies would shift.
    environment.insert(QStringLiteral("LD_PRELOAD"),
                       QStringLiteral("/usr/$LIB/faketime/libfaketime.so.1"));
    environment.insert(QStringLiteral("FAKETIME"), QStringLiteral("+%1d").arg(days));
    environment.insert(QStringLiteral("FAKETIME_SKIP_CMDS"), QStringLiteral("rsync"));
    return runBash(QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$@\""),
                               QStringLiteral("faked"), QStringLiteral("/bin/bash"),
                               quindleDir() + QStringLiteral("/quindle.sh")} +
                       arguments,
                   environment, output);
}

int ServiceSandbox::prepareDrive(const QString &drive) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NVMe"), drive);
    return runBash({quindleDir() + QStringLiteral("/2-prep-nvme.sh"), QStringLiteral("--auto")},
                   environment, nullptr);
}

} // namespace quindle::test
