#include "core/Uninstaller.h"

#include "core/BackgroundPool.h"
#include "core/DriveIdentity.h"
#include "core/Installer.h"
#include "core/LoginItem.h"
#include "core/NVMeMount.h"
#include "core/PostedChange.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "platform/AutostartEntry.h"
#include "platform/HomeDirectory.h"
#include "platform/PackageOwner.h"
#include "platform/ProcessTable.h"
#include "platform/RelocatedFolders.h"
#include "platform/VolumeLocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent>

namespace quindle {

namespace {

const QString kBackupSuffix = QStringLiteral(".tarnel-old");

QString home() {
    return platform::homePath();
}

// The drive a link into the volumes root leads to: <root>/<first component>.
QString volumeOf(const QString &target, const QString &root) {
    const QString rest = target.mid(root.size() + 1);
    return root + QLatin1Char('/') + rest.section(QLatin1Char('/'), 0, 0);
}

// A link onto a drive the service manages: into the volumes root or the configured drive, with
// the folder's old copy beside it or the drive's marker.
bool isRelocation(const QString &target, bool hasBackup) {
    const QString root = platform::volumesRoot();
    if (target.startsWith(root + QLatin1Char('/')))
        return hasBackup || QFileInfo::exists(markerFile(volumeOf(target, root)));
    if (const std::optional<QString> drive = nvmeRootOf(target); drive && target != *drive)
        return hasBackup || QFileInfo::exists(markerFile(*drive));
    return false;
}

bool looksInstalled(const QString &folder) {
    return QFileInfo(folder + QStringLiteral("/bin/quindle")).isFile() &&
           QFileInfo(folder + QStringLiteral("/Resources/Scripts")).isDir();
}

} // namespace

// One uninstall on a worker thread. Every change is posted to the uninstaller.
class Uninstaller::Run {
public:
    Run(Uninstaller *owner, std::shared_ptr<platform::ServiceManager> manager)
        : m_owner(owner)
        , m_manager(std::move(manager))
        , m_revert(owner->revertRelocations)
        , m_removeConfig(owner->removeConfigAndLogs)
        , m_trashApp(owner->moveAppToTrash) {}

    bool execute() {
        phase(Phase::StoppingService);
        if (const auto pid = platform::terminateScriptRun(paths::stateDirectory() +
                                                              QStringLiteral("/service/pass.lock"),
                                                          QStringLiteral("quindle.sh")))
            log(QStringLiteral("Stopped the running rules pass (process %1)").arg(*pid));

        phase(Phase::RemovingServiceEntries);
        removeServiceEntries();
        fraction(0.15);
        if (m_revert) {
            phase(Phase::Reverting);
            revert();
        }
        fraction(0.35);
        phase(Phase::RemovingCLI);
        removeFile(paths::shimFile(), QStringLiteral("Removed CLI shim: "));
        removeFile(paths::localBinDirectory() + QStringLiteral("/dwctl"),
                   QStringLiteral("Removed legacy CLI shim: "));
        fraction(0.55);
        if (m_removeConfig) {
            phase(Phase::RemovingConfig);
            for (const QString &folder : {paths::quindleDirectory(), paths::legacyDirectory(),
                                          home() + QStringLiteral("/.config/Quindle")})
                if (QFileInfo(folder).isDir() && QDir(folder).removeRecursively())
                    log(QStringLiteral("Removed: ") + folder);
        }
        fraction(0.75);
        if (m_trashApp) {
            phase(Phase::MovingAppToTrash);
            trashApplication();
        }
        fraction(0.95);
        phase(Phase::Done);
        fraction(1.0);
        log(QStringLiteral("✓ Uninstall complete."));
        return true;
    }

private:
    void removeServiceEntries() {
        const QString definition = m_manager->definitionFile();
        const bool existed = QFileInfo::exists(definition);
        if (const std::optional<QString> error = m_manager->remove())
            log(QStringLiteral("⚠ Could not remove %1: %2").arg(definition, *error));
        else if (existed)
            log(QStringLiteral("Removed %1: %2")
                    .arg(m_manager->writtenNoun(), QFileInfo(definition).fileName()));
        const QString loginEntry = platform::autostartEntryFile(LoginItem::entryFileName());
        if (QFileInfo::exists(loginEntry) && QFile::remove(loginEntry))
            log(QStringLiteral("Removed Autostart entry: ") + LoginItem::entryFileName());
    }

    void revert() {
        const QList<Relocation> relocations = detectRelocations();
        if (relocations.isEmpty()) {
            log(QStringLiteral("No relocated folders to revert."));
            return;
        }
        int restored = 0, withoutBackup = 0, failed = 0;
        for (const Relocation &relocation : relocations) {
            log(QStringLiteral("Reverting: ") + relocation.path);
            QFile link(relocation.path);
            if (!link.remove()) {
                log(QStringLiteral("  ✗ could not remove symlink: ") + link.errorString());
                ++failed;
                continue;
            }
            const QString backup = relocation.path + kBackupSuffix;
            if (QFileInfo::exists(backup)) {
                if (QDir().rename(backup, relocation.path)) {
                    log(QStringLiteral("  ✓ restored original folder backup"));
                    ++restored;
                } else {
                    log(QStringLiteral("  ✗ could not restore from %1: the rename failed")
                            .arg(backup));
                    ++failed;
                }
            } else if (QDir().mkpath(relocation.path)) {
                log(QStringLiteral("  ⓘ no backup found — data still on external drive; created "
                                   "empty folder here"));
                ++withoutBackup;
            } else {
                log(QStringLiteral("  ✗ could not recreate empty folder: the folder could not be "
                                   "created"));
                ++failed;
            }
        }
        log(QStringLiteral("Revert summary — restored: %1, no-backup: %2, failed: %3")
                .arg(restored)
                .arg(withoutBackup)
                .arg(failed));
        post([restored, withoutBackup, failed](Uninstaller &u) {
            u.m_restored = restored;
            u.m_withoutBackup = withoutBackup;
            u.m_failed = failed;
        });
    }

    void trashApplication() {
        const std::optional<QString> folder = installFolder();
        if (!folder) {
            log(QStringLiteral("⚠ No install folder found to trash. (Already removed?)"));
            return;
        }
        // A package's files are its manager's to remove: trashing them would leave it believing
        // they are still there.
        const QString program = *folder + QStringLiteral("/bin/quindle");
        if (const QString package = platform::packageOwners({program}).value(program);
            !package.isEmpty()) {
            log(QStringLiteral("⚠ Could not Trash %1: it belongs to the package %2; remove it with "
                               "“%3”")
                    .arg(*folder, package, platform::packageRemovalCommand(package)));
            return;
        }
        // Qt 6.4 cannot make the trash when ~/.local/share is missing.
        QDir().mkpath(home() + QStringLiteral("/.local/share"));
        QFile install(*folder);
        if (install.moveToTrash())
            log(QStringLiteral("Moved to Trash: ") + *folder);
        else
            log(QStringLiteral("⚠ Could not Trash %1: %2").arg(*folder, install.errorString()));
        QFile entry(home() + QStringLiteral("/.local/share/applications/quindle.desktop"));
        if (entry.exists() && entry.moveToTrash())
            log(QStringLiteral("Moved to Trash: ") + entry.fileName());
    }

    void removeFile(const QString &path, const QString &prefix) {
        if (QFileInfo(path).isSymLink() || QFileInfo::exists(path))
            if (QFile::remove(path))
                log(prefix + path);
    }

    template <typename Change> void post(Change change) { postChange(m_owner, change); }
    void phase(Phase value) {
        post([value](Uninstaller &u) { u.m_phase = value; });
    }
    void log(const QString &line) {
        post([line](Uninstaller &u) { u.m_log << line; });
    }
    void fraction(double value) {
        post([value](Uninstaller &u) { u.m_fraction = value; });
    }

    Uninstaller *m_owner;
    std::shared_ptr<platform::ServiceManager> m_manager;
    bool m_revert;
    bool m_removeConfig;
    bool m_trashApp;
};

Uninstaller::Uninstaller(ManagerSource managers, std::function<void()> stopApplication,
                         QObject *parent)
    : QObject(parent)
    , m_managers(std::move(managers))
    , m_stopApplication(std::move(stopApplication)) {}

QFuture<bool> Uninstaller::uninstall() {
    if (m_running && !m_running->isFinished())
        return *m_running;
    if (m_stopApplication)
        m_stopApplication();
    m_log.clear();
    m_phase = Phase::StoppingService;
    m_fraction = 0.0;
    Q_EMIT changed();
    auto work = QtConcurrent::run(
        blockingPool(), [this, managers = m_managers] { return Run(this, managers()).execute(); });
    m_running = whenFinished(work, this, [](bool ok) { return ok; });
    return *m_running;
}

QList<Relocation> Uninstaller::detectRelocations() {
    QList<Relocation> found;
    for (const QString &relative : platform::relocatableFolders()) {
        const QString path = home() + QLatin1Char('/') + relative;
        const QFileInfo info(path);
        if (!info.isSymLink())
            continue;
        const QString target = info.symLinkTarget();
        const bool hasBackup = QFileInfo::exists(path + kBackupSuffix);
        if (isRelocation(target, hasBackup))
            found.append({path, target, hasBackup});
    }
    return found;
}

bool Uninstaller::configDirExists() {
    return QFileInfo(paths::quindleDirectory()).isDir();
}

std::optional<QString> Uninstaller::installFolder() {
    if (const std::optional<QString> own = Installer::installFolder())
        return own;
    const QString usual = home() + QStringLiteral("/.local/opt/Quindle");
    if (looksInstalled(usual))
        return usual;
    return std::nullopt;
}

} // namespace quindle
