#pragma once

#include "core/ServiceBridge.h"
#include "platform/UserService.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace quindle {

// The per-user service facility of this machine, driven through ServiceBridge. Detects it on
// every call (it blocks up to 5 seconds where systemctl hangs), so call it off the main thread.
std::shared_ptr<platform::ServiceManager> userServiceManager();
// A source of that manager that detects on its first call and then keeps the answer, for callers
// that ask every few seconds.
std::function<std::shared_ptr<platform::ServiceManager>()> detectOnce();
// `bash ~/.quindle/quindle.sh watch`, its log, PATH and restart throttle.
platform::ServiceDefinition serviceDefinition();

// Installs the background service: scripts, configuration, command-line shim and the service
// definition, then starts it. Publishes on the main thread; the work runs in the background,
// and the installer must outlive a run it started.
class Installer : public QObject {
    Q_OBJECT
public:
    struct Phase {
        enum class Step {
            Idle,
            MigratingLegacy,
            Copying, // detail: the script
            WritingConfig,
            WritingCLI,
            WritingService,
            LoadingService,
            Done,
            Failed, // detail: the message
        };
        Step step = Step::Idle;
        QString detail;
        bool operator==(const Phase &) const = default;
    };

    using ManagerSource = std::function<std::shared_ptr<platform::ServiceManager>()>;

    explicit Installer(QObject *parent = nullptr);
    // Tests give their own manager and scripts folder ("" stands for a bundle without one).
    Installer(ManagerSource managers, QString scriptsFolder, QObject *parent = nullptr);
    // Waits for a running installation, which reports to this object.
    ~Installer() override;

    // The whole installation; true on success. A call while one runs returns that run.
    QFuture<bool> install();
    // Replaces installed scripts that differ from the bundle's and restarts the service once
    // when any did; the names replaced.
    QFuture<QStringList> upgradeScriptsIfNeeded();

    struct PrepResult {
        bool ok = false;
        QString output;
    };
    // Prepares the drive mounted at `path` with the bundle's stage script.
    QFuture<PrepResult> prepDrive(const QString &path);

    // The drive a fresh configuration names; the platform's default drive path when empty.
    void setDrivePath(const QString &path) { m_drivePath = path; }

    static bool rcloneInstalled();
    // How to get rclone on this machine ("sudo apt install rclone").
    static QString rcloneHint();

    const Phase &phase() const { return m_phase; }
    const QStringList &log() const { return m_log; }
    double fractionComplete() const { return m_fraction; }

    // Where the scripts come from; empty when there is no such folder.
    QString scriptsFolder() const;
    // Resources/Scripts, else the source tree's service/.
    static QString bundledScriptsFolder();
    // Resources/Legal, else the source tree's resources/Legal.
    static QString bundledLegalFolder();
    // Resources/Help, else the source tree's resources/Help.
    static QString bundledHelpFolder();
    // The folder this program runs from when it is an installed copy (bin/quindle with
    // Resources/Scripts beside it); nothing for a development build.
    static std::optional<QString> installFolder();

    // Bundle names, installed under the same names in ~/.quindle, in order.
    static QStringList scriptTable();
    // The configuration written when there is none: the template naming `drivePath`, or the
    // default drive when that is empty, and `appsRoot` when it is not the service's default.
    static QString defaultConfiguration(const QString &templateText, const QString &drivePath = {},
                                        const QString &appsRoot = {});
    // The template shipped with the service scripts, built into the program.
    static QString builtInConfigurationTemplate();
    // ~/.local/bin/qndl.
    static QString shimText();
    // "Quindle: upgraded 2 script(s) on launch: quindle.sh, lib-common.sh".
    static QString upgradedLogLine(const QStringList &names);

    static QString bundleMissingScriptsMessage();
    static QString prepMissingScriptsMessage();

Q_SIGNALS:
    void changed();

private:
    class Run;

    // `<install folder>/Resources/<name>` beside bin/, else `sourceTreeFolder` of the source
    // tree; empty when neither is a folder.
    static QString bundledFolder(const QString &name, const QString &sourceTreeFolder);

    ManagerSource m_managers;
    std::optional<QString> m_scriptsFolder;
    QString m_drivePath;
    Phase m_phase;
    QStringList m_log;
    double m_fraction = 0.0;
    QFuture<bool> m_worker;
    std::optional<QFuture<bool>> m_running;
};

} // namespace quindle
