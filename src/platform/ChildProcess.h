#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QProcess;

namespace quindle::platform {

enum class ChildStream { Output, Error };

// What a child is and how its output is taken. Standard input is always empty.
struct ChildCommand {
    enum class Channels {
        Separate, // standard output and standard error apart
        Combined, // both in one stream (ChildStream::Output), in the order they arrived
        Discarded // neither is read: a child that prints a lot never stalls on a full pipe
    };
    enum class Delivery {
        Collect, // kept in the result
        Lines,   // asynchronous form only: signalled line by line, not kept
        Chunks   // asynchronous form only: signalled as raw chunks, not kept
    };

    explicit ChildCommand(QString program, QStringList arguments = {})
        : program(std::move(program))
        , arguments(std::move(arguments)) {}

    QString program;
    QStringList arguments;
    QHash<QString, QString> environment; // added to the inherited environment, or replacing
    QString workingDirectory;            // empty: the caller's
    Channels channels = Channels::Separate;
    Delivery delivery = Delivery::Collect;
    std::optional<std::chrono::milliseconds> deadline; // from the start; none: no limit
    std::chrono::milliseconds grace{3000};             // between SIGTERM and SIGKILL
    bool endsWithParent = false; // SIGTERM from the kernel when this process dies, even by kill -9
};

struct ChildResult {
    enum class Outcome {
        Exited,
        Signalled,     // signalNumber says which
        FailedToStart, // startError says why
        DeadlineHit,   // stopped at its deadline; exitCode or signalNumber say how it ended
    };

    Outcome outcome = Outcome::FailedToStart;
    int exitCode = -1;
    int signalNumber = 0;
    QString startError;
    QByteArray output; // collected standard output (both streams when combined)
    QByteArray error;  // collected standard error

    bool succeeded() const { return outcome == Outcome::Exited && exitCode == 0; }
    // As a shell reports it: the exit code, 128 + the signal, -1 when it never ran. A run that
    // had to be ended at its deadline is never 0.
    int shellStatus() const;
};

// The status and text of a bounded run of both streams combined, and the function that gives it.
struct CommandResult {
    int status = -1;
    QString output; // both streams, in the order they arrived
};
using CommandRunner = std::function<CommandResult(const QString &program, const QStringList &args,
                                                  std::chrono::milliseconds timeout)>;

// The bytes as UTF-8 text; empty when they are not valid UTF-8.
QString strictUtf8(const QByteArray &bytes);

// Cuts a byte stream into lines at \n and \r (progress lines end in \r). A line that is not
// valid UTF-8 is dropped; empty lines are dropped.
class LineSplitter {
public:
    QStringList feed(const QByteArray &chunk);
    QStringList finish(); // what is left after the last separator

private:
    QByteArray m_pending;
};

// One child in a process group of its own, so that stopping it reaches every process it started.
// Stopping sends SIGTERM to the group, then SIGKILL to it when the grace has passed.
//
// The asynchronous form: start() on a thread with an event loop and wait for finished(). It
// never waits for the child, except in the destructor, which stops a child still running and
// waits at most twice the grace. Receivers of finished() may deleteLater() it, not delete it.
class ChildProcess : public QObject {
    Q_OBJECT
public:
    explicit ChildProcess(ChildCommand command, QObject *parent = nullptr);
    ~ChildProcess() override;

    // False when the program cannot run (result().startError says why); finished() then never
    // comes. A failure only the system sees later still ends in finished() with FailedToStart.
    bool start();
    // Ends the child early: SIGTERM to its group now, SIGKILL after the grace.
    void stop();

    bool isRunning() const;
    qint64 pid() const { return m_pid; }
    const ChildResult &result() const { return m_result; }

    // The blocking form, for worker threads: runs the command to its end or deadline.
    static ChildResult run(const ChildCommand &command);

Q_SIGNALS:
    void line(quindle::platform::ChildStream stream, const QString &text);
    void chunk(quindle::platform::ChildStream stream, const QByteArray &bytes);
    void finished(const quindle::platform::ChildResult &result);

private:
    bool begin(bool armDeadline);
    void signalGroup(int signalNumber);
    void sendTerm();
    void read(ChildStream stream, bool atEnd);
    void conclude(int exitCode, bool bySignal);
    void failToStart(const QString &reason);
    void waitBlocking();

    ChildCommand m_command;
    std::unique_ptr<QProcess> m_process;
    qint64 m_pid = 0;
    bool m_stopping = false;
    bool m_deadlineHit = false;
    bool m_done = false;
    LineSplitter m_outLines;
    LineSplitter m_errLines;
    ChildResult m_result;
    QTimer m_deadline;
    QTimer m_grace;
};

// Starts a program that outlives this process (standard streams on /dev/null); the reason when
// it could not be started.
std::optional<QString> startDetached(const ChildCommand &command);

} // namespace quindle::platform
