#include "mover/MoverTexts.h"

#include <QDir>
#include <QFileInfo>

namespace quindle {

QString plural(qsizetype count, const char *word) {
    return QStringLiteral("%1 %2%3").arg(count).arg(QLatin1String(word)).arg(count == 1 ? "" : "s");
}

QString lastComponent(const QString &path) {
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

} // namespace quindle
