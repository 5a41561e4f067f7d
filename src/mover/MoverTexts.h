#pragma once

#include <QString>

namespace quindle {

// "1 file", "3 files": the counts the mover's sentences carry.
QString plural(qsizetype count, const char *word);

// The folder or file name a path ends in, after cleaning.
QString lastComponent(const QString &path);

} // namespace quindle
