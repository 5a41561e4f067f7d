#include "core/ServiceLogModel.h"

#include "core/AtomicFile.h"
#include "core/BackgroundPool.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

ServiceLogModel::ServiceLogModel(QObject *parent)
    : QObject(parent) {
    m_timer.setInterval(refreshInterval);
    connect(&m_timer, &QTimer::timeout, this, &ServiceLogModel::refresh);
}

QString ServiceLogModel::path() {
    return paths::serviceLog();
}

void ServiceLogModel::startPolling() {
    refresh();
    m_timer.start();
}

void ServiceLogModel::stopPolling() {
    m_timer.stop();
}

void ServiceLogModel::refresh() {
    if (m_reading)
        return; // a slow disk: the next tick reads again
    m_reading = true;
    const QString file = path();
    whenFinished(QtConcurrent::run(blockingPool(), readWholeFile, file), this,
                 [this, file](const std::optional<QByteArray> &content) {
                     m_reading = false;
                     m_path = file;
                     m_content = content;
                     Q_EMIT refreshed();
                 });
}

QString ServiceLogModel::excerpt(const std::optional<QByteArray> &content, const QString &path,
                                 int lines) {
    if (!content)
        return QStringLiteral("(log not found at ") + path + QLatin1Char(')');
    if (content->isEmpty())
        return QStringLiteral("(log empty)");
    // The last `lines` pieces begin after the lines-th line feed from the end; scanning back
    // spares splitting a long log on every tick.
    qsizetype start = 0;
    qsizetype from = content->size() - 1;
    for (int i = 0; i < lines; ++i) {
        const qsizetype feed = from < 0 ? -1 : content->lastIndexOf('\n', from);
        if (feed < 0) {
            start = 0;
            break;
        }
        start = feed + 1;
        from = feed - 1;
    }
    return QString::fromUtf8(content->constData() + start, content->size() - start);
}

} // namespace quindle
