#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// Runs a program to completion and returns its exit status, or -1 when it cannot start. Its
// output is discarded. Blocks the calling thread: call it from a background task.
int runProcessAsync(const QString &executablePath, const QStringList &arguments);

// `du -sk path` in KiB; nothing when du cannot run or exits non-zero (part of the tree
// unreadable). Blocks the calling thread.
std::optional<qint64> duKBAsync(const QString &path);

// The command as the log shows it: arguments joined by spaces, an argument holding a space put
// between double quotes with its own double quotes escaped by a backslash.
QString formatCommandLine(const QString &executablePath, const QStringList &arguments);

// Cuts a byte stream into lines at \n and \r (progress lines end in \r). A line that is not
// valid UTF-8 is dropped; empty lines are dropped.
class LineSplitter {
public:
    QStringList feed(const QByteArray &chunk);
    QStringList finish(); // what is left after the last separator

private:
    QByteArray m_pending;
};

// A child process on the main thread whose two outputs arrive line by line.
class StreamedProcess : public QObject {
    Q_OBJECT
public:
    // How long a child has to end after SIGTERM before it is killed.
    static constexpr int stopGraceMs = 3000;

    explicit StreamedProcess(QObject *parent = nullptr);
    // Stops a child that still runs: SIGTERM, then SIGKILL after the grace.
    ~StreamedProcess() override;

    // True once the program runs; otherwise errorString() says why.
    bool start(const QString &executablePath, const QStringList &arguments);
    qint64 pid() const { return m_process.processId(); }
    QString errorString() const { return m_process.errorString(); }
    void terminate();

Q_SIGNALS:
    void standardOutputLine(const QString &line);
    void standardErrorLine(const QString &line);
    // The exit status; a program ended by a signal never reports 0.
    void finished(int status);

private:
    void drain(QProcess::ProcessChannel channel, LineSplitter &splitter, bool atEnd);

    QProcess m_process;
    LineSplitter m_out;
    LineSplitter m_err;
};

} // namespace quindle
