#pragma once

#include <QString>

namespace quindle::platform {

// The home folder as this process sees it right now: $HOME, else the password database.
// Never cache the result: tests and the demo point HOME elsewhere at run time.
QString homePath();

// The login name: $USER, else the password database (USER is unset in some service contexts).
QString userName();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
QString userConfigPath();

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
QString userDataPath();

// The desktop's trash for files of the home folder: Trash in userDataPath().
QString userTrashPath();

} // namespace quindle::platform
