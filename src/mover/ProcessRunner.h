#pragma once

#include "platform/ChildProcess.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

namespace quindle {

// Runs a program to completion and returns its exit status (128 + the signal for a program a
// signal ended), or -1 when it cannot start. Its output is discarded. Blocks the calling thread:
// call it from a background task.
int runProcessAsync(const QString &executablePath, const QStringList &arguments);

// `du -sk path` in KiB; nothing when du cannot run or exits non-zero (part of the tree
// unreadable). Blocks the calling thread.
std::optional<qint64> duKBAsync(const QString &path);

// The command as the log shows it: arguments joined by spaces, an argument holding a space put
// between double quotes with its own double quotes escaped by a backslash.
QString formatCommandLine(const QString &executablePath, const QStringList &arguments);

// A child process on the main thread whose two outputs arrive line by line, or as raw chunks.
class StreamedProcess : public QObject {
    Q_OBJECT
public:
    // How long a child has to end after SIGTERM before it is killed.
    static constexpr int stopGraceMs = 3000;

    explicit StreamedProcess(QObject *parent = nullptr);
    // Stops a child that still runs: SIGTERM, then SIGKILL after the grace, to all it started.
    ~StreamedProcess() override;

    // How a child is started beyond its program and arguments.
    struct Options {
        QHash<QString, QString> environment; // added to the inherited one
        bool endsWithParent = false;         // SIGTERM when this process dies, however it dies
        bool chunks = false; // the output as it was read (…Chunk signals), not as lines
        std::chrono::milliseconds grace{stopGraceMs}; // between SIGTERM and SIGKILL
    };

    // True once the program is launched; otherwise errorString() says why.
    bool start(const QString &executablePath, const QStringList &arguments, const Options &options);
    bool start(const QString &executablePath, const QStringList &arguments) {
        return start(executablePath, arguments, Options{});
    }
    qint64 pid() const;
    bool isRunning() const;
    QString errorString() const;
    // SIGTERM now, SIGKILL after the grace; finished() follows.
    void terminate();
    // The child ended by a signal (its status is then 128 + the signal).
    bool endedBySignal() const;

Q_SIGNALS:
    void standardOutputLine(const QString &line);
    void standardErrorLine(const QString &line);
    void standardOutputChunk(const QByteArray &bytes);
    void standardErrorChunk(const QByteArray &bytes);
    // The exit status; a program ended by a signal reports 128 + the signal, never 0.
    void finished(int status);

private:
    std::unique_ptr<platform::ChildProcess> m_child;
};

} // namespace quindle
