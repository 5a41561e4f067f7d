#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace quindle::platform {

// Turns SIGINT and SIGTERM into a signal on the main thread while it exists, so a command-line run
// can stop its work the way Cancel would instead of dying with children still running. The
// previous handlers come back when it is destroyed. One at a time per process.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace quindle::platform
