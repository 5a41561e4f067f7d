#include "app/LaunchFacts.h"

#include "app/AppContext.h"
#include "core/BuildSettings.h"
#include "core/StatePaths.h"

namespace quindle {

bool RealLaunchFacts::manifestAddressConfigured() const {
    return !build::manifestUrl().isEmpty();
}

QFuture<void> RealLaunchFacts::refreshManifest() {
    return m_context.manifest.refresh();
}

bool RealLaunchFacts::updateGateNeeded() const {
    const ManifestFetcher &fetcher = m_context.manifest;
    return fetcher.hasFreshManifest() && fetcher.manifest() && fetcher.updateAvailable();
}

bool RealLaunchFacts::legalAccepted() {
    m_context.legal.refresh();
    return m_context.legal.hasAcceptedCurrent();
}

bool RealLaunchFacts::serviceInstalled() const {
    return paths::serviceInstalled();
}

} // namespace quindle
