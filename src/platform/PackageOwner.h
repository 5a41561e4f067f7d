#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace quindle::platform {

// The package that installed each of `paths` (absolute, exact), asked of dpkg in one run, else
// of rpm; paths no package owns are left out. QUINDLE_DPKG_ADMINDIR points dpkg at another
// database.
QHash<QString, QString> packageOwners(const QStringList &paths);

// How a user removes `package` with this system's package tool: "sudo apt remove quindle".
QString packageRemovalCommand(const QString &package);

// The owners in dpkg-query -S output ("pkg-a, pkg-b: /path"), for the paths asked about.
QHash<QString, QString> parseDpkgSearch(const QString &output, const QStringList &paths);

// A path as a dpkg search pattern that matches only itself.
QString dpkgExactPattern(const QString &path);

} // namespace quindle::platform
