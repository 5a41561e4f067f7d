#include "platform/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <memory>

namespace quindle::platform {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage call(const QString &method) {
    return QDBusMessage::createMethodCall(service, path, service, method);
}

QString reason(const QDBusError &error) {
    return QStringLiteral("The desktop's notification server did not answer: %1 (%2).")
        .arg(error.message(), error.name());
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : DesktopNotifier(QDBusConnection::sessionBus(), parent) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus) {}

QString DesktopNotifier::escapeMarkup(const QString &text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    escaped.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    escaped.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return escaped;
}

void DesktopNotifier::post(const QList<DesktopNotice> &notices,
                           std::function<void(NoticeOutcomes)> done) {
    if (notices.isEmpty() || !m_bus.isConnected()) {
        // Answered from the event loop, as a server's answer would be.
        QMetaObject::invokeMethod(
            this,
            [count = notices.size(), done = std::move(done)] {
                done(NoticeOutcomes(count, QStringLiteral("There is no session bus to reach the "
                                                          "desktop's notification server on.")));
            },
            Qt::QueuedConnection);
        return;
    }
    // Whether the body is read as markup is the server's choice, asked once per batch.
    auto *watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(call(QStringLiteral("GetCapabilities")), replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, notices, done = std::move(done)](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<QStringList> reply = *finished;
                if (reply.isError()) {
                    done(NoticeOutcomes(notices.size(), reason(reply.error())));
                    return;
                }
                notify(notices, reply.value().contains(QLatin1String("body-markup")), done);
            });
}

void DesktopNotifier::notify(const QList<DesktopNotice> &notices, bool markup,
                             std::function<void(NoticeOutcomes)> done) {
    struct Batch {
        NoticeOutcomes outcomes;
        qsizetype pending = 0;
        std::function<void(NoticeOutcomes)> done;
    };
    auto batch = std::make_shared<Batch>();
    batch->outcomes = NoticeOutcomes(notices.size());
    batch->pending = notices.size();
    batch->done = std::move(done);
    for (qsizetype i = 0; i < notices.size(); ++i) {
        const DesktopNotice &notice = notices.at(i);
        QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("quindle")}};
        if (!notice.sound.isEmpty())
            hints.insert(QStringLiteral("sound-name"), notice.sound);
        QDBusMessage message = call(QStringLiteral("Notify"));
        message << QStringLiteral("Quindle") << 0u << QStringLiteral("quindle") << notice.title
                << (markup ? escapeMarkup(notice.body) : notice.body) << QStringList() << hints
                << -1;
        // Messages leave in the order they are sent, so the server sees the notices in order.
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, replyTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [batch, i](QDBusPendingCallWatcher *finished) {
                    finished->deleteLater();
                    if (finished->isError())
                        batch->outcomes[i] = reason(finished->error());
                    if (--batch->pending == 0)
                        batch->done(batch->outcomes);
                });
    }
}

} // namespace quindle::platform
