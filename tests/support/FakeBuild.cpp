#include "support/FakeBuild.h"

#include "support/CommandRun.h"
#include "support/TempHome.h"

#include "updates/UpdatePackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quindle::test {

void writeFakeBuild(const QString &folder, const QByteArray &versionLine, int status,
                    const QString &swapTool) {
    for (const QString &file : UpdatePackage::requiredFiles())
        writeText(folder + '/' + file, "#!/bin/bash\n");
    if (!swapTool.isEmpty()) {
        QFile::remove(folder + "/bin/quindle-swap");
        EXPECT_TRUE(QFile::copy(swapTool, folder + "/bin/quindle-swap"));
    }
    const QByteArray code = QByteArray::number(status);
    const QString program = folder + "/bin/quindle";
    writeText(program, "#!/bin/bash\n"
                       "if [[ ${1:-} == --version ]]; then echo '" +
                           versionLine + "'; exit " + code +
                           "; fi\n"
                           "(( " +
                           code + " == 0 )) || exit " + code +
                           "\n"
                           "touch \"$HOME/started-" +
                           QFileInfo(folder).fileName().toUtf8() +
                           "\"\n"
                           "for ((i = 0; i < 100; i++)); do\n"
                           "    [[ -e $HOME/stop ]] && exit 0\n"
                           "    sleep 0.1\n"
                           "done\n");
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
}

QByteArray packBuild(const QString &workFolder, const QString &top, const QStringList &extra) {
    QTemporaryDir scratch;
    const QString archive = scratch.filePath("build.tar.gz");
    QStringList arguments{"-czf", archive, "-C", workFolder};
    arguments << extra << top;
    const CommandRun tar = runCommand("tar", arguments);
    EXPECT_EQ(tar.status, 0) << tar.err.toStdString();
    return readText(archive);
}

} // namespace quindle::test
