#include "apps/AppDiscovery.h"

#include "apps/AppManifestStore.h"
#include "core/AppsRoots.h"
#include "core/Installer.h"
#include "core/NVMeMount.h"
#include "mover/ProcessRunner.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>

namespace quindle {

namespace {

constexpr int kMaxProgramsSampled = 200;

QString resolved(const QString &path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

bool isInside(const QString &path, const QString &folder) {
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

// The app folders of one root, as listed; links only when they lead to a moved app.
QList<AppEntry> foldersOf(const QString &root, const DiscoveryScope &scope) {
    QList<AppEntry> entries;
    const QDir dir(root);
    for (const QFileInfo &info :
         dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString name = info.fileName();
        if (name.endsWith(QLatin1String(".restoring")) ||
            name.endsWith(QLatin1String(".quindle-old")))
            continue;
        AppEntry entry;
        entry.path = dir.filePath(name);
        entry.root = root;
        entry.displayName = name;
        if (info.isSymLink()) {
            const QString target = QDir::cleanPath(info.symLinkTarget());
            const bool moved = (!scope.nvmeAppsFolder.isEmpty() &&
                                isInside(target, QDir::cleanPath(scope.nvmeAppsFolder)) &&
                                target != QDir::cleanPath(scope.nvmeAppsFolder)) ||
                               scope.movedTargets.contains(target);
            if (!moved)
                continue;
            entry.isMovedSymlink = true;
        } else if (!info.isDir()) {
            continue;
        }
        entries << entry;
    }
    return entries;
}

// The resolved paths a launcher names: its program, TryExec and working folder.
QStringList launcherPaths(const platform::DesktopEntry &launcher) {
    QStringList paths;
    for (const QString &program :
         {platform::execProgram(launcher.exec), launcher.tryExec, launcher.workingPath}) {
        const QString found = platform::resolveProgram(program);
        if (!found.isEmpty())
            paths << resolved(found);
    }
    return paths;
}

bool preferredLauncher(const platform::DesktopEntry &candidate,
                       const platform::DesktopEntry &current) {
    const auto rank = [](const platform::DesktopEntry &e) {
        return e.type == QLatin1String("Application") && !e.noDisplay ? 0 : 1;
    };
    if (rank(candidate) != rank(current))
        return rank(candidate) < rank(current);
    return candidate.fileID < current.fileID;
}

// The newest access time among `files`; nothing when none has one.
std::optional<QDateTime> newestAccess(const QStringList &files) {
    std::optional<QDateTime> newest;
    for (const QString &file : files) {
        const QDateTime read = QFileInfo(file).fileTime(QFileDevice::FileAccessTime);
        if (read.isValid() && (!newest || read > *newest))
            newest = read.toUTC();
    }
    return newest;
}

// Up to kMaxProgramsSampled executable files at most two levels down.
QStringList programsNear(const QString &folder) {
    QStringList programs;
    QStringList levels{folder};
    for (int depth = 0; depth < 3 && programs.size() < kMaxProgramsSampled; ++depth) {
        QStringList next;
        for (const QString &dir : std::as_const(levels)) {
            for (const QFileInfo &info :
                 QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
                if (info.isSymLink())
                    continue;
                if (info.isDir())
                    next << info.filePath();
                else if (info.isExecutable() && programs.size() < kMaxProgramsSampled)
                    programs << info.filePath();
            }
        }
        levels = next;
    }
    return programs;
}

QString accessSentence(const platform::AccessProblem &problem, const QString &root) {
    switch (problem.kind) {
    case platform::AccessProblem::Kind::ParentNotWritable:
        return QStringLiteral("Moving it needs administrator rights: %1 is not writable for you; "
                              "choose an apps root you own.")
            .arg(root);
    case platform::AccessProblem::Kind::Unreadable:
        return QStringLiteral("Quindle can't read %1, so it could not prove the copy.")
            .arg(problem.path);
    case platform::AccessProblem::Kind::NotRemovable:
        return QStringLiteral("Quindle can't remove %1, so it could not replace the app with a "
                              "link.")
            .arg(problem.path);
    }
    return {};
}

} // namespace

AppScan discoverApps(const DiscoveryScope &scope, const platform::AppHost &host) {
    AppScan scan;
    for (const QString &root : scope.roots)
        scan.entries << foldersOf(root, scope);

    // Each app folder by its resolved path, for matching launchers, processes and units.
    QHash<QString, qsizetype> byFolder;
    QStringList folders, localPaths;
    for (qsizetype i = 0; i < scan.entries.size(); ++i) {
        const QString folder = resolved(scan.entries.at(i).path);
        byFolder.insert(folder, i);
        folders << folder;
        if (!scan.entries.at(i).isMovedSymlink)
            localPaths << scan.entries.at(i).path;
    }
    const auto folderOf = [&](const QString &path) -> std::optional<qsizetype> {
        for (auto it = byFolder.cbegin(); it != byFolder.cend(); ++it)
            if (isInside(path, it.key()))
                return it.value();
        return std::nullopt;
    };

    QHash<qsizetype, platform::DesktopEntry> launchers;
    QHash<qsizetype, QStringList> launcherPrograms;
    for (const platform::DesktopEntry &launcher : host.desktopEntries()) {
        for (const QString &path : launcherPaths(launcher)) {
            const std::optional<qsizetype> index = folderOf(path);
            if (!index)
                continue;
            if (!launchers.contains(*index) || preferredLauncher(launcher, launchers[*index])) {
                launchers.insert(*index, launcher);
                launcherPrograms.insert(*index, {});
            }
            break;
        }
    }
    for (auto it = launchers.cbegin(); it != launchers.cend(); ++it)
        for (const QString &program : {platform::execProgram(it->exec), it->tryExec}) {
            const QString found = platform::resolveProgram(program);
            if (!found.isEmpty() && QFileInfo(found).isFile())
                launcherPrograms[it.key()] << found;
        }

    const QHash<QString, platform::FolderUser> users = host.users(folders);
    const QHash<QString, QString> owners = host.packageOwners(localPaths);
    const QString own = scope.ownInstall ? resolved(*scope.ownInstall) : QString();

    for (qsizetype i = 0; i < scan.entries.size(); ++i) {
        AppEntry &entry = scan.entries[i];
        const QString folder = folders.at(i);
        if (const auto launcher = launchers.constFind(i); launcher != launchers.cend()) {
            QString id = launcher->fileID;
            if (id.endsWith(QLatin1String(".desktop")))
                id.chop(8);
            entry.bundleID = id;
            if (!launcher->name.isEmpty())
                entry.displayName = launcher->name;
        }
        entry.id = entry.bundleID.value_or(entry.path);
        if (const auto user = users.constFind(folder); user != users.cend()) {
            entry.isRunning = true;
            entry.runningPid = user->pid;
            entry.runningName = user->name;
        }
        if (entry.isMovedSymlink)
            continue;
        entry.sizeBytes = duKBAsync(entry.path).value_or(0) * 1024;
        const std::optional<platform::MountFacts> mount = host.mountFacts(entry.path);
        if (!mount || !mount->noatime) {
            const QStringList programs = launcherPrograms.value(i);
            entry.lastUsedAt =
                newestAccess(programs.isEmpty() ? programsNear(entry.path) : programs);
        }
        entry.isOwnInstall = !own.isEmpty() && folder == own;
        entry.packageOwner = owners.contains(entry.path)
                                 ? std::optional<QString>(owners.value(entry.path))
                                 : std::nullopt;
        entry.privilegedProgram = host.privilegedProgram(entry.path);
        if (const std::optional<platform::AccessProblem> problem = host.accessProblem(entry.path)) {
            entry.accessProblem = accessSentence(*problem, entry.root);
            entry.rootNotWritable =
                problem->kind == platform::AccessProblem::Kind::ParentNotWritable;
        }
    }

    scan.facts.favouriteIDs = host.favourites();
    for (const platform::StartupTarget &target : host.startupTargets()) {
        const QString program = platform::resolveProgram(target.program);
        if (program.isEmpty())
            continue;
        if (const std::optional<qsizetype> index = folderOf(resolved(program)))
            scan.facts.startupFiles.insert(scan.entries.at(*index).path, target.fileName);
    }
    sortForListing(scan.entries);
    return scan;
}

DiscoveryScope currentDiscoveryScope() {
    DiscoveryScope scope;
    scope.roots = AppsRoots::current();
    if (const QStringList drives = configuredNVMePaths(); !drives.isEmpty())
        scope.nvmeAppsFolder = drives.first() + QStringLiteral("/Apps");
    for (const MovedApp &moved : MovedAppsLedger::load())
        scope.movedTargets << QDir::cleanPath(moved.nvmePath);
    scope.ownInstall = Installer::installFolder();
    return scope;
}

} // namespace quindle
