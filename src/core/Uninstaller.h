#pragma once

#include "platform/UserService.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace quindle {

// A folder the service relocated: a link in the home folder to its copy on a drive.
struct Relocation {
    QString path;           // the link, absolute
    QString target;         // where it leads
    bool hasBackup = false; // <path>.tarnel-old holds the folder as it was
};

// Removes what installing put on this computer: the service and its entries, the folders the
// service relocated (put back), the command-line shims, optionally the configuration and logs and
// the install folder (to the trash). Nothing on a drive is touched. Publishes on the main thread;
// the steps run in the background.
class Uninstaller : public QObject {
    Q_OBJECT
public:
    using ManagerSource = std::function<std::shared_ptr<platform::ServiceManager>()>;
    enum class Phase {
        Idle,
        StoppingService,
        RemovingServiceEntries,
        Reverting,
        RemovingCLI,
        RemovingConfig,
        MovingAppToTrash,
        Done
    };

    // `stopApplication` ends this application's own writers (status poll, moves …) first, on
    // the main thread, so that nothing re-creates ~/.quindle behind the steps.
    explicit Uninstaller(ManagerSource managers, std::function<void()> stopApplication = {},
                         QObject *parent = nullptr);

    bool revertRelocations = true;
    bool removeConfigAndLogs = true;
    bool moveAppToTrash = true;

    Phase phase() const { return m_phase; }
    const QStringList &log() const { return m_log; }
    double fractionComplete() const { return m_fraction; }
    int revertSucceeded() const { return m_restored; }
    int revertWithoutBackup() const { return m_withoutBackup; }
    int revertFailed() const { return m_failed; }

    // Runs every step; always ends in Done, each failure logged. One run at a time.
    QFuture<bool> uninstall();

    static QList<Relocation> detectRelocations();
    static bool configDirExists();
    // The install folder to trash: this program's own when it runs from one, else
    // ~/.local/opt/Quindle when present; never a build tree or a package's folder.
    static std::optional<QString> installFolder();

Q_SIGNALS:
    void changed();

private:
    class Run;

    ManagerSource m_managers;
    std::function<void()> m_stopApplication;
    Phase m_phase = Phase::Idle;
    QStringList m_log;
    double m_fraction = 0.0;
    int m_restored = 0;
    int m_withoutBackup = 0;
    int m_failed = 0;
    std::optional<QFuture<bool>> m_running;
};

} // namespace quindle
