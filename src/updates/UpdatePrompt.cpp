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

UpdatePrompt::UpdatePrompt(ManifestFetcher &fetcher, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_shown(fetcher.manifest()) {}

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

void UpdatePrompt::openDownload() {
    m_downloadAfterRecheck = true;
    recheck();
}

void UpdatePrompt::openDownloadAnyway() {
    if (const std::optional<QUrl> url = downloadUrl())
        Q_EMIT downloadRequested(*url);
}

void UpdatePrompt::recheck() {
    if (m_phase == Phase::Rechecking)
        return;
    setPhase(Phase::Rechecking);
    whenFinished(m_fetcher.refresh(), this, [this] {
        const bool download = std::exchange(m_downloadAfterRecheck, false);
        if (m_fetcher.lastError()) {
            m_error = *m_fetcher.lastError();
            setPhase(Phase::RecheckFailed);
            return;
        }
        m_shown = m_fetcher.manifest();
        if (!m_fetcher.updateAvailable()) {
            Q_EMIT current();
            return;
        }
        setPhase(Phase::Offer);
        Q_EMIT changed();
        if (download)
            openDownloadAnyway();
    });
}

void UpdatePrompt::quit() {
    Q_EMIT quitRequested();
}

void UpdatePrompt::setPhase(Phase phase) {
    if (phase == m_phase)
        return;
    m_phase = phase;
    Q_EMIT changed();
}

} // namespace quindle
