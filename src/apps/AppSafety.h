#pragma once

#include "apps/AppEntry.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>

namespace quindle {

// Whether an app may move, and the sentence that says why not or what to mind.
struct AppSafetyVerdict {
    enum class Kind { Ok, Caution, Blocked };
    Kind kind = Kind::Ok;
    QString message;

    // "ok", "caution", "blocked"
    QString rawValue() const;
    // "Caution", "Blocked"; empty for ok.
    QString badge() const;
    bool operator==(const AppSafetyVerdict &) const = default;
};

// What the desktop says about apps as a whole, read once per scan.
struct AppDesktopFacts {
    QSet<QString> favouriteIDs;           // launcher IDs pinned to a dock or panel
    QHash<QString, QString> startupFiles; // app path → the unit or autostart entry into it
};

// The first rule that applies wins: moved already, Quindle's own folder, package-managed,
// running, privileged program, started at login, not the user's to move; then the cautions.
AppSafetyVerdict evaluate(const AppEntry &entry, const AppDesktopFacts &facts,
                          const QDateTime &now);

// The sentence for a package-managed app in `root`.
QString packageManagedText(const QString &package, const QString &root);

} // namespace quindle
