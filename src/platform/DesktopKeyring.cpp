#include "platform/DesktopKeyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <libsecret/secret.h>

namespace quindle::platform {

namespace {

const SecretSchema *schema() {
    static const SecretSchema value = {"org.quindle.Secret",
                                       SECRET_SCHEMA_DONT_MATCH_NAME,
                                       {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {"kind", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                       0,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
    return &value;
}

// Runs `work` on a thread of its own and waits at most `limit`. A call that overruns is left to
// finish on its own; its result is dropped.
DesktopKeyring::Lookup withLimit(std::function<DesktopKeyring::Lookup()> work,
                                 std::chrono::milliseconds limit) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<DesktopKeyring::Lookup> result;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)] {
        DesktopKeyring::Lookup result = work();
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->done.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (!shared->done.wait_for(lock, limit, [&] { return shared->result.has_value(); }))
        return {};
    return *shared->result;
}

DesktopKeyring::Outcome outcomeOf(GError *error) {
    if (!error)
        return DesktopKeyring::Outcome::Done;
    g_error_free(error);
    return DesktopKeyring::Outcome::Unavailable;
}

} // namespace

DesktopKeyring::DesktopKeyring(QString application, QString kind, std::chrono::milliseconds limit)
    : m_application(std::move(application))
    , m_kind(std::move(kind))
    , m_limit(limit) {}

bool DesktopKeyring::offered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QString service = QStringLiteral("org.freedesktop.secrets");
    if (bus.interface()->isServiceRegistered(service))
        return true;
    const QDBusReply<QStringList> activatable =
        bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(service);
}

std::chrono::milliseconds DesktopKeyring::defaultLimit() {
    bool ok = false;
    const int override = qEnvironmentVariableIntValue("QUINDLE_KEYRING_TIMEOUT_MS", &ok);
    return std::chrono::milliseconds(ok && override > 0 ? override : 30000);
}

DesktopKeyring::Lookup DesktopKeyring::lookup() const {
    const QByteArray application = m_application.toUtf8();
    const QByteArray kind = m_kind.toUtf8();
    return withLimit(
        [application, kind] {
            GError *error = nullptr;
            gchar *secret = secret_password_lookup_sync(schema(), nullptr, &error, "application",
                                                        application.constData(), "kind",
                                                        kind.constData(), nullptr);
            if (error)
                return Lookup{outcomeOf(error), {}};
            if (!secret)
                return Lookup{Outcome::NotFound, {}};
            Lookup found{Outcome::Done, QByteArray(secret)};
            secret_password_free(secret);
            return found;
        },
        m_limit);
}

DesktopKeyring::Outcome DesktopKeyring::store(const QString &label,
                                              const QByteArray &secret) const {
    const QByteArray application = m_application.toUtf8();
    const QByteArray kind = m_kind.toUtf8();
    const QByteArray name = label.toUtf8();
    return withLimit(
               [=] {
                   GError *error = nullptr;
                   const gboolean stored = secret_password_store_sync(
                       schema(), SECRET_COLLECTION_DEFAULT, name.constData(), secret.constData(),
                       nullptr, &error, "application", application.constData(), "kind",
                       kind.constData(), nullptr);
                   const Outcome outcome = outcomeOf(error);
                   return Lookup{stored ? outcome : Outcome::Unavailable, {}};
               },
               m_limit)
        .outcome;
}

DesktopKeyring::Outcome DesktopKeyring::clear() const {
    const QByteArray application = m_application.toUtf8();
    const QByteArray kind = m_kind.toUtf8();
    return withLimit(
               [=] {
                   GError *error = nullptr;
                   const gboolean removed = secret_password_clear_sync(
                       schema(), nullptr, &error, "application", application.constData(), "kind",
                       kind.constData(), nullptr);
                   if (error)
                       return Lookup{outcomeOf(error), {}};
                   return Lookup{removed ? Outcome::Done : Outcome::NotFound, {}};
               },
               m_limit)
        .outcome;
}

} // namespace quindle::platform
