#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quindle {

// One line of the service's notification queue: {"title": …, "body": …, "sound": …}.
struct NotificationPayload {
    QString title;
    QString body;
    QString sound; // a sound theme name; empty: silent

    // Nothing for a line that is not such an object (text, a missing or mistyped key).
    static std::optional<NotificationPayload> decode(const QByteArray &line);

    friend bool operator==(const NotificationPayload &, const NotificationPayload &) = default;
};

} // namespace quindle
