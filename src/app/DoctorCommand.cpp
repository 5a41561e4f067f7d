#include "app/CommandLine.h"

#include "core/BuildSettings.h"
#include "core/StatePaths.h"
#include "mover/RsyncSupport.h"
#include "platform/InstallHints.h"
#include "platform/ProgramLocations.h"
#include "platform/ServiceManagerKind.h"
#include "platform/VolumeLocations.h"

#include <QTextStream>

namespace quindle {

namespace {

QString rsyncLine() {
    RsyncSupport::waitForProbe();
    const std::optional<RsyncSupport> rsync = RsyncSupport::current();
    if (!rsync)
        return QStringLiteral("none accepted: no GNU rsync 3.x among %1. Install via %2 and retry.")
            .arg(platform::rsyncCandidates().join(QStringLiteral(", ")),
                 platform::viaPackageManager(QStringLiteral("rsync")));
    const bool crtimes = rsync->atLeast(3, 2, 7) && rsync->crtimesCapable;
    return QStringLiteral("%1 (%2 → %3.%4.%5), --crtimes %6")
        .arg(rsync->executablePath, rsync->versionString)
        .arg(rsync->major)
        .arg(rsync->minor)
        .arg(rsync->patch)
        .arg(crtimes ? QStringLiteral("passed") : QStringLiteral("not passed"));
}

QString addressLine(const QUrl &address) {
    return address.isEmpty() ? QStringLiteral("none configured") : address.toString();
}

} // namespace

int runDoctor(const QStringList &) {
    QTextStream out(stdout);
    const QString rclone = platform::findRclone();
    out << "State directory:    " << paths::quindleDirectory() << '\n'
        << "Volumes root:       " << platform::volumesRoot() << '\n'
        << "Default NVMe:       " << platform::defaultNVMePath() << '\n'
        << "rsync:              " << rsyncLine() << '\n'
        << "rclone:             "
        << (rclone.isEmpty() ? QStringLiteral("none found (needed only for cloud transfers)")
                             : rclone)
        << '\n'
        << "Service manager:    " << platform::describe(platform::detectServiceManager()) << '\n'
        << "Manifest address:   " << addressLine(build::manifestUrl()) << '\n'
        << "Fallback address:   " << addressLine(build::manifestFallbackUrl()) << '\n'
        << "Service address:    " << addressLine(build::serviceUrl()) << '\n'
        << "Signature checking: " << (build::manifestSigningKey().isEmpty() ? "off" : "on") << '\n';
    return 0;
}

} // namespace quindle
