#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

namespace quindle::platform {

// One secret in the desktop keyring (the Secret Service on the session bus, through libsecret),
// found by the attributes application and kind. Every call runs off the calling thread and gives
// up after `limit`, so a keyring that never answers cannot hang its caller.
class DesktopKeyring {
public:
    enum class Outcome {
        Done,       // stored, found or cleared
        NotFound,   // reachable, but no such item
        Unavailable // no Secret Service, locked and not unlocked, refused, or silent too long
    };
    struct Lookup {
        Outcome outcome = Outcome::Unavailable;
        QByteArray secret;
    };

    DesktopKeyring(QString application, QString kind,
                   std::chrono::milliseconds limit = defaultLimit());

    // The session bus has a Secret Service, running or ready to start.
    static bool offered();
    // 30 seconds; QUINDLE_KEYRING_TIMEOUT_MS replaces it, so tests need not wait that long.
    static std::chrono::milliseconds defaultLimit();

    Lookup lookup() const;
    Outcome store(const QString &label, const QByteArray &secret) const;
    Outcome clear() const;

private:
    QString m_application;
    QString m_kind;
    std::chrono::milliseconds m_limit;
};

} // namespace quindle::platform
