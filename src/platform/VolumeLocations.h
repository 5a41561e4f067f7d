#pragma once

#include <QString>
#include <QStringList>

namespace quindle::platform {

// Where removable drives are mounted for this user: /run/media/$USER or /media/$USER,
// whichever exists (the latter when neither does); QUINDLE_VOLUMES_ROOT replaces it.
QString volumesRoot();

// The drive the product manages unless the configuration says otherwise.
QString defaultNVMePath();

// The folder whose sub-folders are the relocatable applications.
QString defaultAppsRoot();
// The folders that hold applications by default: ~/Applications, ~/.local/opt, ~/opt and the
// apps root, those that exist.
QStringList defaultAppsRoots();

} // namespace quindle::platform
