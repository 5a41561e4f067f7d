#include "tier/RsyncBanner.h"

#include "core/AppPreferences.h"
#include "core/WhenFinished.h"
#include "mover/RsyncSupport.h"
#include "platform/InstallHints.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

namespace {

const QString kRsync = QStringLiteral("rsync");

} // namespace

QString RsyncBanner::dismissedKey() {
    return QStringLiteral("quindle.tworsync.banner.dismissed.v1");
}

RsyncBanner::RsyncBanner(QObject *parent)
    : QObject(parent) {
    if (RsyncSupport::isReady())
        return;
    // The probe cache announces nothing, so wait for its first result off the main thread.
    whenFinished(QtConcurrent::run([] { RsyncSupport::waitForProbe(); }), this,
                 [this] { Q_EMIT changed(); });
}

bool RsyncBanner::isVisible() const {
    return RsyncSupport::isReady() && !RsyncSupport::current() && !isDismissed();
}

bool RsyncBanner::isDismissed() const {
    // Read fresh: the preferences file is the only truth.
    return readPreference(dismissedKey(), false).toBool();
}

void RsyncBanner::dismiss() {
    storePreference(dismissedKey(), true);
    Q_EMIT changed();
}

QString RsyncBanner::title() {
    return QStringLiteral("GNU rsync 3.x is required to move files.");
}

QString RsyncBanner::detail() {
    return QStringLiteral("Move buttons are disabled until you install it via %1. openrsync has "
                          "incomplete hard-link, xattr, and progress support — Quindle no longer "
                          "accepts it.")
        .arg(platform::viaPackageManager(kRsync));
}

QString RsyncBanner::installCommand() {
    return platform::installCommand(kRsync);
}

Toast RsyncBanner::copiedToast() {
    return Toast{QStringLiteral("Copied `%1`. Paste it into a terminal and press Return.")
                     .arg(installCommand()),
                 Tone::Info};
}

void RsyncBanner::reloadProbe() {
    if (m_reloading)
        return;
    m_reloading = true;
    Q_EMIT changed();
    RsyncSupport::reprobe(this, [this] {
        m_reloading = false;
        if (RsyncSupport::current())
            Q_EMIT toastPosted(
                Toast{QStringLiteral("GNU rsync detected. Move buttons enabled."), Tone::Success});
        else
            Q_EMIT toastPosted(Toast{QStringLiteral("Still no GNU rsync — install via %1 and try "
                                                    "again.")
                                         .arg(platform::viaPackageManager(kRsync)),
                                     Tone::Error});
        Q_EMIT changed();
    });
}

} // namespace quindle
