#pragma once

#include <QString>

namespace quindle {

// ~/.quindle/sync/interrupted.json: source and destination pairs whose last run was cut short.
// rclone leaves a cut-short file under its final name with a fresh time, so the pair's next run
// must compare contents rather than trust --update; a run that ends well clears the pair.
namespace InterruptedPairs {

QString file();
bool contains(const QString &source, const QString &destination);
void add(const QString &source, const QString &destination);
void remove(const QString &source, const QString &destination);

} // namespace InterruptedPairs

} // namespace quindle
