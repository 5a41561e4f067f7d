#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quindle::platform {

// An XDG autostart entry: a desktop entry the session starts at login.
struct AutostartEntry {
    QString name;
    QString comment;
    QStringList command;
};

// One Exec argument: bare when it needs no quoting, else in double quotes with `"` `` ` `` `$`
// and `\` escaped; `%` doubled.
QString desktopExecArgument(const QString &argument);
// A whole entry's text, values escaped as desktop-entry strings.
QString autostartEntryText(const AutostartEntry &entry);
QString autostartEntryFile(const QString &fileName);
std::optional<QString> writeAutostartEntry(const QString &fileName, const AutostartEntry &entry);
std::optional<QString> removeAutostartEntry(const QString &fileName);
// Present and not switched off (Hidden=true, X-GNOME-Autostart-enabled=false).
bool autostartEntryEnabled(const QString &fileName);

} // namespace quindle::platform
