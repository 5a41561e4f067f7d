#pragma once

#include <QString>

namespace quindle::platform {

// Where the application's icon lives on this desktop, as a sentence fragment.
QString trayAppName(); // "the system tray app"

// The program that shows folders: "File Manager" (a control's label).
QString fileManagerName();

// What keeps the service running, for sentences: "your session's service manager".
QString serviceManagerNoun();

// What the service is registered as, for sentences: "user service".
QString userServiceNoun();

// The folder Quindle is installed in, for sentences: "The installation folder".
QString installFolderNoun();

// The modifier of keyboard shortcuts as people read it: "Ctrl".
QString shortcutModifier();

// The program a person types commands into, for sentences: "a terminal".
QString terminalNoun();

// Disks whose contents the system encrypts, for sentences: "encrypted volumes".
QString encryptedVolumesNoun();

// The programs that typically keep files open on an external drive, for a list in a sentence:
// "Docker, Podman, Android Emulator, JetBrains IDEs".
QString driveDependentTools();
// The session's desktop names, most specific first ("ubuntu:GNOME"); empty when unknown.
QString currentDesktop();

// What happens before an administrator command runs, as a sentence.
QString administratorPasswordNotice(); // "Your system will ask for your administrator password."

} // namespace quindle::platform
