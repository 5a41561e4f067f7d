#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <optional>

namespace quindle {

// name:path, where the colon is not the first character and comes before any slash
// ("gdrive:Photos/2024" is remote, "/home/me/a:b" is local).
bool isRemotePath(const QString &endpoint);

// The text before the first colon of a remote path; nothing for a local one.
std::optional<QString> remoteName(const QString &endpoint);

// The kind of account a transfer touches, as reported about it: "local" when neither end is a
// remote, else the type of the destination's remote (or the source's). Empty for a remote whose
// type is not in `types`, so an unknown account is never guessed at.
QString transferAccountType(const QString &source, const QString &destination,
                            const QHash<QString, QString> &types);

// Why the New Transfer form refuses an endpoint, as a sentence; nothing when it is usable.
// A local endpoint must be a full path; `remoteExists` answers for remote names.
std::optional<QString> endpointProblem(const QString &endpoint,
                                       const std::function<bool(const QString &)> &remoteExists);

} // namespace quindle
