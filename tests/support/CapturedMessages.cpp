#include "support/CapturedMessages.h"

#include <QMutex>
#include <QMutexLocker>
#include <QtGlobal>

namespace quindle::test {

namespace {

QMutex mutex;
QStringList captured;
QtMessageHandler previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    {
        const QMutexLocker lock(&mutex);
        captured << message;
    }
    if (previous)
        previous(type, context, message);
}

} // namespace

CapturedMessages::CapturedMessages() {
    const QMutexLocker lock(&mutex);
    captured.clear();
    previous = qInstallMessageHandler(capture);
}

CapturedMessages::~CapturedMessages() {
    qInstallMessageHandler(previous);
}

QStringList CapturedMessages::lines() const {
    const QMutexLocker lock(&mutex);
    return captured;
}

QStringList CapturedMessages::startingWith(const QString &prefix) const {
    QStringList found;
    for (const QString &line : lines())
        if (line.startsWith(prefix))
            found << line;
    return found;
}

} // namespace quindle::test
