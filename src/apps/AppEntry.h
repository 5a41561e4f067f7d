#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace quindle {

// One application folder found in an apps root, with every fact its verdict is drawn from.
struct AppEntry {
    QString id;   // bundleID when known, else path: the selection key
    QString path; // <apps root>/<folder>
    QString root; // the apps root that holds it
    QString displayName;
    std::optional<QString> bundleID; // the launcher's file ID less ".desktop"
    qint64 sizeBytes = 0;
    std::optional<QDateTime> lastUsedAt;
    bool isRunning = false;
    bool isMovedSymlink = false;
    bool isOwnInstall = false;                // Quindle runs from it
    std::optional<qint64> runningPid;         // a process that has it in use
    QString runningName;                      // that process's command name
    std::optional<QString> packageOwner;      // the package that installed it
    std::optional<QString> privilegedProgram; // a setuid, setgid or capable file in it
    std::optional<QString> accessProblem;     // the sentence why this user cannot move it
    bool rootNotWritable = false;             // the apps root itself is not the user's

    // Whole calendar days from lastUsedAt to `now`, in local time; nothing without a date.
    std::optional<qint64> daysSinceLastUse(const QDateTime &now) const;
    // "Never used", "Today", "Yesterday", "N days ago", "N months ago", "N years ago".
    QString lastUsedLabel(const QDateTime &now) const;

    bool operator==(const AppEntry &) const = default;
};

// The list keys of `quindle apps list --json`.
QJsonObject listJson(const AppEntry &entry, const QDateTime &now, const QString &verdict,
                     const QString &message);

// Entries without a last-used date first by name, then the longest unused first.
void sortForListing(QList<AppEntry> &entries);

} // namespace quindle
