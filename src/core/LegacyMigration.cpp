#include "core/LegacyMigration.h"

#include "core/StatePaths.h"
#include "platform/ServiceLocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quindle {

namespace {

struct Rename {
    const char *from;
    const char *to;
};

constexpr std::array<Rename, 5> kRenames{{
    {"drivewarden.conf", "quindle.conf"},
    {"drivewarden.log", "quindle.log"},
    {"drivewarden.actions.tsv", "quindle.actions.tsv"},
    {"drivewarden.launchd.log", "quindle.launchd.log"},
    {"drivewarden.sh", "quindle.sh"},
}};

// rename(2) rather than QFile::rename: that one falls back to copy-and-delete across
// filesystems, which could leave two half-folders behind.
std::optional<QString> renamePath(const QString &from, const QString &to) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return QStringLiteral("Could not rename %1 to %2: %3")
            .arg(from, to, QString::fromLocal8Bit(std::strerror(errno)));
    return std::nullopt;
}

bool exists(const QString &path) {
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

} // namespace

std::optional<QString>
migrateLegacyFolder(const std::function<void(const QString &)> &log,
                    const std::function<void(const QString &)> &unloadAgent) {
    const QString legacy = paths::legacyDirectory();
    const QString current = paths::quindleDirectory();
    if (!exists(legacy) || exists(current))
        return std::nullopt;

    log(QStringLiteral("Migrating legacy ~/.tarnel → ~/.quindle"));
    if (auto error = renamePath(legacy, current))
        return error;

    for (const Rename &rename : kRenames) {
        const QString from = current + QLatin1Char('/') + QLatin1String(rename.from);
        const QString to = current + QLatin1Char('/') + QLatin1String(rename.to);
        if (!exists(from) || exists(to))
            continue;
        if (auto error = renamePath(from, to))
            return error;
    }

    for (const QString &agent : platform::predecessorAgentFiles()) {
        if (!exists(agent))
            continue;
        if (unloadAgent)
            unloadAgent(agent);
        QFile::remove(agent);
        log(QStringLiteral("  unloaded legacy: ") + QFileInfo(agent).fileName());
    }
    return std::nullopt;
}

} // namespace quindle
