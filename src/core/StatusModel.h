#pragma once

#include "core/DriveReport.h"
#include "core/Installer.h"
#include "core/ServiceBridge.h"
#include "core/ServiceStatus.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <optional>

namespace quindle {

// The tray icon's state, most urgent first when several apply (the numbers are the design's).
enum class IconState {
    Normal = 0,
    Low = 1,
    Critical = 3,
    DriveMissing = 4,
    Paused = 5,
    NoStatus = 6,
    NotInstalled = 7,
};
IconState iconState(const std::optional<ServiceStatus> &status, bool installed);

// The service as the tray shows it: installed, running, its last status with live free-space
// figures, and the actions that steer it. Lives on the main thread; processes and file reads
// run in the background.
class StatusModel : public QObject, public DriveReport {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds pollInterval{3000};
    static constexpr qsizetype errorExcerpt = 200;

    explicit StatusModel(QObject *parent = nullptr);
    explicit StatusModel(Installer::ManagerSource managers, QObject *parent = nullptr);

    const std::optional<ServiceStatus> &status() const { return m_status; }
    bool serviceInstalled() const { return m_installed; }
    bool serviceLoaded() const { return m_loaded; }
    const std::optional<QString> &lastError() const { return m_lastError; }
    QStringList actionsInFlight() const { return m_inFlight.keys(); }
    bool isInFlight(const QString &key) const { return m_inFlight.contains(key); }
    const QString &actionOutput() const { return m_actionOutput; }
    // Counts the actions that have finished, so an output can be told from an equal earlier one.
    quint64 finishedActions() const { return m_finishedActions; }
    // The service manager's definition file, as of the last refresh.
    const QString &definitionFile() const { return m_definitionFile; }
    std::optional<QString> reportedDrivePath() const override;

    // Refreshes now, then every pollInterval.
    void startPolling();
    // No more reads after this, as when the application quits.
    void stopPolling() { m_timer.stop(); }

    QFuture<void> refreshAsync();
    // A service sub-command with its arguments, split at spaces.
    QFuture<ProcessOutput> run(const QString &command);
    QFuture<ProcessOutput> startService();
    QFuture<ProcessOutput> stopService();

    QString headerSubtitle() const;
    static QString headerSubtitle(bool installed, bool loaded,
                                  const std::optional<ServiceStatus> &status);
    static QString quietHoursDescription(const ServiceStatus &status);

    static inline const QString startKey = QStringLiteral("start-service");
    static inline const QString stopKey = QStringLiteral("stop-service");

Q_SIGNALS:
    void changed();

private:
    struct Snapshot;
    void apply(const Snapshot &snapshot);
    QFuture<ProcessOutput> action(const QString &key, QFuture<ProcessOutput> work,
                                  std::function<QString(const ProcessOutput &)> failure);
    void setError(const QString &error, bool fromRefresh);

    Installer::ManagerSource m_managers;
    QTimer m_timer;
    std::optional<ServiceStatus> m_status;
    bool m_installed = false;
    bool m_loaded = false;
    std::optional<QString> m_lastError;
    bool m_errorFromRefresh = false;
    QHash<QString, int> m_inFlight; // a key stays while any run of it is in flight
    QString m_actionOutput;
    quint64 m_finishedActions = 0;
    QString m_definitionFile;
};

} // namespace quindle
