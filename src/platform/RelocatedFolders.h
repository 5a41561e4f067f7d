#pragma once

#include <QStringList>

namespace quindle::platform {

// Folders under the home folder that the service relocates to the drive when asked, relative to
// the home folder, in the order they are examined: containers, Android, build and package caches.
const QStringList &relocatableFolders();

} // namespace quindle::platform
