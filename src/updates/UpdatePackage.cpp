#include "updates/UpdatePackage.h"

#include "platform/ChildProcess.h"
#include "platform/ProgramLocations.h"
#include "updates/VersionCompare.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QUuid>

#include <sys/stat.h>

namespace quindle {

namespace {

using platform::ChildCommand;
using platform::ChildProcess;
using platform::ChildResult;

// The first folder one or two levels down holding an executable bin/quindle.
QString findBuild(const QString &staging) {
    QStringList level{staging};
    for (int depth = 1; depth <= 2; ++depth) {
        QStringList next;
        for (const QString &parent : level)
            for (const QFileInfo &folder : QDir(parent).entryInfoList(
                     QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
                if (folder.isSymLink())
                    continue;
                const QFileInfo program(folder.filePath() + QStringLiteral("/bin/quindle"));
                if (program.isFile() && !program.isSymLink() && program.isExecutable())
                    return folder.filePath();
                next << folder.filePath();
            }
        level = next;
    }
    return {};
}

// A link whose target is not inside `build`, or anything that is not a file, folder or link.
QString firstEscape(const QString &staging, const QString &build) {
    const QString root = QDir(build).canonicalPath() + QLatin1Char('/');
    QDirIterator it(staging, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            return QDir(staging).relativeFilePath(path);
        const bool plain = S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
        bool escapes = !plain && !S_ISLNK(info.st_mode);
        if (S_ISLNK(info.st_mode)) {
            const QString target = QFileInfo(path).canonicalFilePath();
            escapes = target.isEmpty() || !(target + QLatin1Char('/')).startsWith(root);
        }
        if (escapes)
            return QDir(staging).relativeFilePath(path);
    }
    return {};
}

QString firstLine(const QByteArray &output) {
    return QString::fromUtf8(output).section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace

QString UpdatePackage::Refused::message() const {
    return QStringLiteral("The package check failed on the downloaded file. ") + reason +
           QStringLiteral(" Try again, or use 'Open download in browser' to grab a fresh copy.");
}

const QStringList &UpdatePackage::requiredFiles() {
    static const QStringList files{QStringLiteral("bin/quindle-swap"),
                                   QStringLiteral("Resources/Scripts/quindle.sh"),
                                   QStringLiteral("Resources/Legal/TERMS-OF-SERVICE.md"),
                                   QStringLiteral("Resources/Legal/PRIVACY-POLICY.md"),
                                   QStringLiteral("Resources/Legal/DISCLAIMER.md")};
    return files;
}

std::variant<UpdatePackage::Staged, UpdatePackage::Refused>
UpdatePackage::stage(const QString &archive, const QString &installFolder,
                     const QString &expectedVersion, std::chrono::milliseconds startLimit) {
    const QString staging = QFileInfo(installFolder).absolutePath() +
                            QStringLiteral("/.quindle-update-") +
                            QUuid::createUuid().toString(QUuid::WithoutBraces);
    const auto refuse = [&staging](const QString &reason) {
        QDir(staging).removeRecursively();
        return Refused{reason};
    };
    if (!QDir().mkpath(staging))
        return Refused{QStringLiteral("The archive could not be unpacked (tar exit 1).")};

    // GNU tar refuses members with ".." or through links; never as their recorded owners.
    const ChildResult tar = ChildProcess::run(ChildCommand(
        platform::tarExecutable(), {QStringLiteral("-xzf"), archive, QStringLiteral("-C"), staging,
                                    QStringLiteral("--no-same-owner")}));
    if (!tar.succeeded())
        return refuse(QStringLiteral("The archive could not be unpacked (tar exit %1).")
                          .arg(tar.shellStatus()));

    const QString build = findBuild(staging);
    if (build.isEmpty())
        return refuse(QStringLiteral("The archive holds no Quindle build."));
    for (const QString &file : requiredFiles())
        if (!QFileInfo::exists(build + QLatin1Char('/') + file))
            return refuse(QStringLiteral("The new build is missing %1.").arg(file));
    if (const QString escape = firstEscape(staging, build); !escape.isEmpty())
        return refuse(QStringLiteral("The archive holds a link or special file that leaves the "
                                     "install folder: %1.")
                          .arg(escape));

    ChildCommand version(build + QStringLiteral("/bin/quindle"), {QStringLiteral("--version")});
    version.channels = ChildCommand::Channels::Combined;
    version.deadline = startLimit;
    const ChildResult ran = ChildProcess::run(version);
    const QString said = firstLine(ran.output);
    if (!ran.succeeded() || !said.startsWith(QStringLiteral("Quindle ")))
        return refuse(QStringLiteral("The new build did not start: %1.")
                          .arg(!said.isEmpty() ? said
                               : !ran.startError.isEmpty()
                                   ? ran.startError
                                   : QStringLiteral("no output (exit %1)").arg(ran.shellStatus())));
    const QString reported = said.mid(8).trimmed();
    if (compareVersions(reported, expectedVersion) != 0)
        return refuse(
            QStringLiteral("The new build reports version %1, but the manifest offers %2.")
                .arg(reported, expectedVersion));
    return Staged{staging, build};
}

} // namespace quindle
