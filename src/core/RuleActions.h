#pragma once

#include "core/RulesBlock.h"

#include <QString>
#include <QStringList>

#include <optional>

// The actions a rule of the service can take, and the size its extras field holds.
namespace quindle::ruleActions {

inline const QString archiveOld = QStringLiteral("archive_old");
inline const QString archiveBig = QStringLiteral("archive_big");
inline const QString deleteOld = QStringLiteral("delete_old");
inline const QString appCacheClean = QStringLiteral("app_cache_clean");

// The four above, in the order the editor offers them.
const QStringList &known();
bool isKnown(const QString &action);
// Moves and deletes act on entries under the rule's source folder.
bool actsOnSource(const QString &action);
bool isMove(const QString &action);

// "Move (by age)", "Move (large files)", "Delete", "Clean app caches"; any other action by its
// raw name.
QString label(const QString &action);

// Where a rule acts, as people read it: "~/Videos → /media/me/NVMe/Videos", "~/tmp → the
// trash", "All configured apps".
QString placesText(const RuleRecord &rule);

// The size in an archive_big rule's extras as the service reads it: a whole number with an
// optional K, M, G or T (decimal, a trailing B allowed); a bare number is MB and an empty field
// 500 MB. Nothing when it is not a size.
std::optional<qint64> sizeBytes(const QString &extras);

} // namespace quindle::ruleActions
