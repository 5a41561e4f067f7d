#include "core/NotificationDrain.h"

#include "core/StatePaths.h"
#include "platform/ExclusiveFileLock.h"
#include "platform/RenameWithoutReplacing.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStringDecoder>
#include <QtDebug>

#include <algorithm>

namespace quindle {

namespace {

bool isUtf8(const QByteArray &bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes); // decodes only when converted
    return !decoder.hasError();
}

// The drained files, oldest first.
QList<std::pair<qint64, QString>> processedFiles() {
    const QFileInfo prefix(paths::processedNotifications());
    QList<std::pair<qint64, QString>> files;
    for (const QFileInfo &file : QDir(prefix.path())
                                     .entryInfoList({prefix.fileName() + QLatin1Char('*')},
                                                    QDir::Files | QDir::Hidden | QDir::System)) {
        bool number = false;
        const qint64 seconds = file.fileName().mid(prefix.fileName().size()).toLongLong(&number);
        if (number)
            files.append({seconds, file.filePath()});
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

NotificationDrain::NotificationDrain(platform::DesktopNotifier &notifier, RecentNotices &recent,
                                     QObject *parent)
    : QObject(parent)
    , m_notifier(notifier)
    , m_recent(recent) {
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, [this] { drain(); });
}

void NotificationDrain::start() {
    drain();
    m_timer.start();
}

DrainReport NotificationDrain::drain() {
    DrainReport report;
    const QFileInfo queue(paths::notificationQueue());
    if (!queue.isFile() || !queue.isReadable() || queue.size() == 0)
        return report;
    const QString moved =
        paths::processedNotifications() + QString::number(QDateTime::currentSecsSinceEpoch());
    {
        std::optional<platform::ExclusiveFileLock> lock =
            platform::ExclusiveFileLock::tryTake(paths::notificationLock());
        if (!lock) {
            report.outcome = DrainReport::Outcome::Busy;
            return report;
        }
        if (const std::optional<QString> error =
                platform::renameWithoutReplacing(queue.filePath(), moved)) {
            report.outcome = DrainReport::Outcome::MoveFailed;
            report.error = *error;
            return report;
        }
        QFile(queue.filePath()).open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
    report.outcome = DrainReport::Outcome::Drained;
    report.processedFile = moved;

    QFile file(moved);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        if (!isUtf8(line)) {
            ++report.undecodable;
        } else if (std::optional<NotificationPayload> payload = NotificationPayload::decode(line)) {
            report.posted.append(*payload);
        } else {
            ++report.malformed;
        }
    }
    if (report.undecodable > 0)
        qWarning().noquote() << QStringLiteral("Quindle: skipped %1 notification line(s) of %2 "
                                               "that are not UTF-8 text.")
                                    .arg(report.undecodable)
                                    .arg(moved);
    if (!report.posted.isEmpty())
        post(report.posted);
    removeOldProcessedFiles();
    return report;
}

void NotificationDrain::post(const QList<NotificationPayload> &payloads) {
    QList<platform::DesktopNotice> notices;
    for (const NotificationPayload &payload : payloads)
        notices.append({payload.title, payload.body, payload.sound});
    m_notifier.post(notices,
                    [self = QPointer(this), payloads](const platform::NoticeOutcomes &outcomes) {
                        if (self)
                            self->settle(payloads, outcomes);
                    });
}

void NotificationDrain::settle(const QList<NotificationPayload> &payloads,
                               const platform::NoticeOutcomes &outcomes) {
    for (qsizetype i = 0; i < payloads.size(); ++i) {
        const NotificationPayload &payload = payloads.at(i);
        NoticeRoute route = NoticeRoute::Desktop;
        if (outcomes.value(i)) {
            route = NoticeRoute::TrayBalloon;
            if (!m_fallback || !m_fallback(payload)) {
                route = NoticeRoute::StandardError;
                QString body = payload.body;
                body.replace(QLatin1Char('\n'), QLatin1Char(' '));
                qWarning().noquote() << QStringLiteral("Quindle: notification: ") + payload.title +
                                            QStringLiteral(" — ") + body;
            }
        }
        const RecentNotice notice{payload, QDateTime::currentDateTimeUtc(), route};
        m_recent.add(notice);
        Q_EMIT shown(notice);
    }
}

void NotificationDrain::removeOldProcessedFiles() {
    const auto files = processedFiles();
    for (qsizetype i = 0; i + keptProcessedFiles < files.size(); ++i)
        QFile::remove(files.at(i).second);
}

} // namespace quindle
