#include "updates/UpdatePrompt.h"

#include "core/BuildSettings.h"
#include "core/WhenFinished.h"
#include "platform/DesktopOpen.h"
#include "updates/ManifestFetcher.h"

namespace quindle {

namespace {

std::optional<QUrl> webAddress(const std::optional<QUrl> &url) {
    return url && platform::isWebAddress(*url) ? url : std::nullopt;
}

} // namespace

UpdatePrompt::UpdatePrompt(ManifestFetcher &fetcher, AutoUpdater &updater, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_updater(updater)
    , m_shown(fetcher.manifest()) {
    connect(&m_updater, &AutoUpdater::changed, this, &UpdatePrompt::changed);
}

UpdatePrompt::Phase UpdatePrompt::phase() const {
    if (m_rechecking)
        return Phase::Rechecking;
    if (m_recheckFailed)
        return Phase::RecheckFailed;
    return m_updater.phase() == AutoUpdater::Phase::Idle ? Phase::Offer : Phase::Updating;
}

QString UpdatePrompt::availableVersion() const {
    return m_shown ? m_shown->version : QString();
}

QString UpdatePrompt::installedVersion() {
    return build::version();
}

std::optional<QUrl> UpdatePrompt::releaseNotesUrl() const {
    return m_shown ? webAddress(m_shown->releaseNotesUrl) : std::nullopt;
}

std::optional<QUrl> UpdatePrompt::downloadUrl() const {
    return m_shown ? webAddress(m_shown->downloadUrl) : std::nullopt;
}

bool UpdatePrompt::canUpdate() const {
    return m_shown && !m_rechecking && !m_updater.isRunning() &&
           m_updater.phase() != AutoUpdater::Phase::Succeeded;
}

void UpdatePrompt::updateNow() {
    if (!canUpdate())
        return;
    m_updateAfterRecheck = true;
    recheck();
}

void UpdatePrompt::openDownload() {
    if (const std::optional<QUrl> url = downloadUrl())
        Q_EMIT downloadRequested(*url);
}

void UpdatePrompt::recheck() {
    if (m_rechecking || m_updater.isRunning())
        return;
    m_recheckFailed = false;
    setRechecking(true);
    whenFinished(m_fetcher.refresh(), this, [this] {
        const bool update = std::exchange(m_updateAfterRecheck, false);
        if (m_fetcher.lastError()) {
            m_error = *m_fetcher.lastError();
            m_recheckFailed = true;
            setRechecking(false);
            return;
        }
        m_shown = m_fetcher.manifest();
        if (!m_fetcher.updateAvailable()) {
            Q_EMIT current();
            return;
        }
        setRechecking(false);
        if (update)
            m_updater.run(*m_shown);
    });
}

void UpdatePrompt::quit() {
    Q_EMIT quitRequested();
}

void UpdatePrompt::setRechecking(bool rechecking) {
    m_rechecking = rechecking;
    Q_EMIT changed();
}

} // namespace quindle
