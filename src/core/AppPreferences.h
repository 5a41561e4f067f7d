#pragma once

#include <QString>
#include <QVariant>

namespace quindle {

// The application's own preferences (quindle.mover.maxConcurrent …), read and written afresh on
// every access: the file is the only truth, and tests move HOME between runs.
QVariant readPreference(const QString &key, const QVariant &fallback = {});
// Logs "Quindle: failed to save preference <key> to <file>" when the file cannot be written.
bool storePreference(const QString &key, const QVariant &value);

} // namespace quindle
