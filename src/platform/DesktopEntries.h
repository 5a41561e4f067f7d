#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle::platform {

// The keys of one launcher file that tell which program it starts and what it is called.
struct DesktopEntry {
    QString fileID;   // relative to its applications folder, '/' read as '-': "org.x.App.desktop"
    QString filePath; // the file it was read from
    QString name;     // Name in the closest locale
    QString type;
    QString exec;
    QString tryExec;
    QString workingPath; // the Path key
    bool noDisplay = false;
    bool hidden = false;

    bool operator==(const DesktopEntry &) const = default;
};

// The [Desktop Entry] group of a launcher file; nothing when it has none. `locale` is a POSIX
// locale name ("de_DE.UTF-8@euro"), matched as the launcher format asks.
std::optional<DesktopEntry> parseDesktopEntry(const QByteArray &text, const QString &locale);

// The words of an Exec value: quoting undone, field codes dropped, "%%" read as "%".
QStringList splitExec(const QString &exec);

// The program an Exec value runs: `env`, its options and NAME=value words are skipped.
QString execProgram(const QString &exec);

// An absolute program as it is; a bare name through PATH; empty when not found.
QString resolveProgram(const QString &program);

// The applications folders, the user's first: $XDG_DATA_HOME then each of $XDG_DATA_DIRS.
QStringList applicationsFolders();

// Every launcher visible to the user: a file ID is taken from the first folder that has it, and
// one marked Hidden there hides the ID altogether.
QList<DesktopEntry> loadDesktopEntries();

} // namespace quindle::platform
