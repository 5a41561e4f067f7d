#pragma once

#include "transfers/Remote.h"

#include <QList>
#include <QString>

#include <optional>

namespace quindle::RemoteCaps {

// The most accounts of one type; nothing for a type without a limit.
std::optional<int> limit(const QString &type);
int countOfType(const QList<Remote> &remotes, const QString &type);
bool limitReached(const QList<Remote> &remotes, const QString &type);
// "Account limit reached for Google Drive. Remove one to add another."
QString limitReachedText(const QString &type);
// "2/5" for the type's row; empty for a type without a limit.
QString usageBadge(const QList<Remote> &remotes, const QString &type);

} // namespace quindle::RemoteCaps
