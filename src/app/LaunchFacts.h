#pragma once

#include "updates/LaunchSplash.h"

#include <QFuture>

namespace quindle {

struct AppContext;

// What the launch chain asks of the world before it shows a gate. The real answers come from the
// build, the update manifest, the legal record and the installation; tests answer for them.
class LaunchFacts {
public:
    virtual ~LaunchFacts() = default;

    virtual bool manifestAddressConfigured() const = 0;
    virtual SplashLimits splashLimits() const { return {}; }
    // One fetch of the manifest; the chain waits for it after the splash.
    virtual QFuture<void> refreshManifest() = 0;
    // A manifest fetched in this run names a newer version than this build.
    virtual bool updateGateNeeded() const = 0;
    // The shipped documents are accepted as they are now (read afresh).
    virtual bool legalAccepted() = 0;
    virtual bool serviceInstalled() const = 0;
};

// The answers of this computer and build.
class RealLaunchFacts : public LaunchFacts {
public:
    explicit RealLaunchFacts(AppContext &context)
        : m_context(context) {}

    bool manifestAddressConfigured() const override;
    QFuture<void> refreshManifest() override;
    bool updateGateNeeded() const override;
    bool legalAccepted() override;
    bool serviceInstalled() const override;

private:
    AppContext &m_context;
};

} // namespace quindle
