#pragma once

#include <QDateTime>
#include <QFuture>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// The legacy /etc/fstab line that pinned the drive's mount point, and its removal.
class FstabEntry {
public:
    // The default drive path, plus the service's current non-empty nvme_path.
    static QStringList needles();

    // A path as the table writes it: space, tab and backslash as octal escapes.
    static QString writtenForm(const QString &path);

    // A trimmed line that is not empty or a comment and contains any needle, as typed or as the
    // table writes it.
    static bool hasProblematicEntry(const QString &fstabText, const QStringList &needles);
    // The same for the file itself; an unreadable file has no entry.
    static bool hasProblematicEntry(const QString &fstabFile);

    // The shell command that backs the table up and deletes every line holding a needle (in
    // either form), or nothing when a needle holds a character that could escape its quoting (a
    // quote, a line break, a shell character): such a needle never reaches a privileged shell.
    static std::optional<QString> removalCommand(const QStringList &needles, const QDateTime &now,
                                                 const QString &fstabFile);

    struct Result {
        bool ok = false;
        std::optional<QString> message;
    };
    // (true, none) at once when there is no entry; otherwise runs the command as administrator.
    static QFuture<Result> remove(const QString &fstabFile);

    static QString systemFile(); // /etc/fstab

    static QString removalPrompt();
};

} // namespace quindle
