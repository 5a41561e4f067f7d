#pragma once

#include "mover/ProcessRunner.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <memory>
#include <optional>

namespace quindle {

// One long sub-command of the service run in the foreground (move-dir, free-space,
// optimize-icloud), its two outputs kept together as they arrive, the oldest cut away past a cap.
class ServiceRun : public QObject {
    Q_OBJECT
public:
    struct Kind {
        QString subCommand;
        qsizetype outputCap;
        QString launchFailure; // what precedes the reason a launch failed
        // A move tells what it starts and how it ended in its own output.
        bool narrated = false;
    };
    static Kind folderMove();
    static Kind freeSpace();
    static Kind cloudOptimisation();

    static constexpr std::chrono::seconds stopGrace{5};

    explicit ServiceRun(Kind kind, QObject *parent = nullptr);
    ~ServiceRun() override;

    // Ignored while a run is in progress. `target` is the sub-command's argument, if it takes one.
    void start(const QString &target = {});
    // SIGTERM to the run's process group, SIGKILL after the grace.
    void stop();

    const Kind &kind() const { return m_kind; }
    const QString &target() const { return m_target; }
    const QString &output() const { return m_output; }
    bool isRunning() const { return m_running; }
    const std::optional<QDateTime> &startedAt() const { return m_startedAt; }
    const std::optional<QDateTime> &finishedAt() const { return m_finishedAt; }
    const std::optional<int> &exitCode() const { return m_exitCode; }
    bool succeeded() const { return m_exitCode == 0; }

Q_SIGNALS:
    void changed();
    // It started or ended.
    void runningChanged();
    // What the service printed since the last time, uncut by the cap.
    void outputAppended(const QString &text);
    void finished(int exitCode);

private:
    void append(const QString &text);
    void conclude(int status);

    Kind m_kind;
    std::unique_ptr<StreamedProcess> m_process;
    QString m_target;
    QString m_output;
    // Stateful, so that a character cut between two chunks still decodes.
    QStringDecoder m_outDecoder;
    QStringDecoder m_errDecoder;
    bool m_running = false;
    std::optional<QDateTime> m_startedAt;
    std::optional<QDateTime> m_finishedAt;
    std::optional<int> m_exitCode;
};

} // namespace quindle
