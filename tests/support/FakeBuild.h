#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quindle::test {

// An install folder as the release makes it, with the real exchange tool when `swapTool` is
// given. Its bin/quindle is a script: `--version` prints `versionLine` and exits with `status`;
// otherwise it exits with `status` at once if that is not 0, else creates $HOME/started-<folder's
// name> and waits up to 10 s for $HOME/stop.
void writeFakeBuild(const QString &folder, const QByteArray &versionLine, int status = 0,
                    const QString &swapTool = {});

// `top`, a folder in `workFolder`, packed by the real tar as the release packs it (with `extra`
// arguments before it); the archive's bytes.
QByteArray packBuild(const QString &workFolder, const QString &top, const QStringList &extra = {});

} // namespace quindle::test
