#include "updates/LaunchSplash.h"

#include "core/BuildSettings.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "updates/SplashLog.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTimer>

#include <memory>

namespace quindle {

SplashLimits SplashLimits::scaled(double factor) const {
    const auto scale = [factor](Ms limit) { return Ms(qRound64(double(limit.count()) * factor)); };
    SplashLimits limits = *this;
    for (Ms *limit :
         {&limits.watchdog, &limits.freshDisplay, &limits.staleRace, &limits.firstInstallMinimum,
          &limits.firstInstallRace, &limits.requestHardTimeout, &limits.requestTimeout,
          &limits.successHold, &limits.offlineHold})
        *limit = scale(*limit);
    return limits;
}

LaunchSplash::LaunchSplash(ManifestPing::Settings addresses, SplashLimits limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_ping(addresses)
    , m_host(addresses.primary.host()) {}

ManifestPing::Settings LaunchSplash::buildSettings(const SplashLimits &limits) {
    return {build::manifestUrl(),
            build::manifestFallbackUrl(),
            build::manifestSigningKey(),
            {limits.requestTimeout, limits.requestHardTimeout}};
}

QString LaunchSplash::host() const {
    return m_host;
}

std::optional<qint64> LaunchSplash::cacheAgeSeconds() {
    const QFileInfo cache(paths::manifestCacheFile());
    if (!cache.exists())
        return std::nullopt;
    return cache.lastModified().secsTo(QDateTime::currentDateTime());
}

QString LaunchSplash::outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Succeeded:
        return QStringLiteral("succeeded");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::TimedOut:
        break;
    }
    return QStringLiteral("timedOut");
}

void LaunchSplash::start() {
    if (m_started)
        return;
    m_started = true;
    after(m_limits.watchdog, [this] {
        if (m_dismissed)
            return;
        splashLog(QStringLiteral("absolute watchdog fired (%1) — forcing dismiss")
                      .arg(limitText(m_limits.watchdog)));
        dismiss();
    });

    splashLog(QStringLiteral("background task started"));
    const std::optional<qint64> age = cacheAgeSeconds();
    const qint64 ttl = m_limits.cacheTtl.count();
    if (age && *age < ttl) {
        splashLog(QStringLiteral("cache FRESH (age %1s / TTL %2s) — skipping network entirely")
                      .arg(*age)
                      .arg(ttl));
        setStatus(Status::Success);
        after(m_limits.freshDisplay, [this] { dismiss(); });
        return;
    }
    if (age) {
        splashLog(QStringLiteral("cache STALE (age %1s) — opportunistic refresh inside %2")
                      .arg(*age)
                      .arg(QString::number(double(m_limits.staleRace.count()) / 1000.0) +
                           QLatin1Char('s')));
        m_ping.run();
        race(m_limits.staleRace, [this](Outcome outcome) {
            splashLog(QStringLiteral("stale-cache refresh outcome = %1 (proceeding either way)")
                          .arg(outcomeName(outcome)));
            setStatus(Status::Success);
            dismiss();
        });
        return;
    }
    splashLog(QStringLiteral("NO cache present — running first-install splash flow"));
    m_ping.run();
    after(m_limits.firstInstallMinimum, [this] {
        splashLog(QStringLiteral("minimum-display window elapsed (%1)")
                      .arg(limitText(m_limits.firstInstallMinimum)));
        race(m_limits.firstInstallRace, [this](Outcome outcome) {
            m_ping.cancel();
            splashLog(QStringLiteral("first-install race outcome = ") + outcomeName(outcome));
            const bool online = outcome == Outcome::Succeeded;
            setStatus(online ? Status::Success : Status::Offline);
            after(online ? m_limits.successHold : m_limits.offlineHold, [this] { dismiss(); });
        });
    });
}

void LaunchSplash::dismiss() {
    if (m_dismissed) {
        splashLog(QStringLiteral("dismiss() called again — ignoring"));
        return;
    }
    splashLog(QStringLiteral("dismiss() called"));
    m_dismissed = true;
    Q_EMIT dismissed();
}

void LaunchSplash::cancel() {
    splashLog(QStringLiteral("Cancel button tapped — terminating app"));
    Q_EMIT quitRequested();
}

void LaunchSplash::windowClosed() {
    if (m_dismissed)
        return;
    splashLog(QStringLiteral("window willClose — terminating app"));
    Q_EMIT quitRequested();
}

void LaunchSplash::setStatus(Status status) {
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

void LaunchSplash::race(std::chrono::milliseconds limit, std::function<void(Outcome)> done) {
    auto once = std::make_shared<std::function<void(Outcome)>>(std::move(done));
    const auto resume = [once](Outcome outcome) {
        if (!*once)
            return;
        const auto call = std::exchange(*once, nullptr);
        call(outcome);
    };
    whenFinished(m_ping.run(), this,
                 [resume](bool ok) { resume(ok ? Outcome::Succeeded : Outcome::Failed); });
    after(limit, [resume] { resume(Outcome::TimedOut); });
}

void LaunchSplash::after(std::chrono::milliseconds delay, std::function<void()> then) {
    QTimer::singleShot(delay, this, std::move(then));
}

} // namespace quindle
