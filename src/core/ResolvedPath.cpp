#include "core/ResolvedPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <cstdlib>

namespace quindle {

QString resolvedPath(const QString &path) {
    QString head = QFileInfo(path).absoluteFilePath();
    QString rest;
    while (true) {
        char resolved[PATH_MAX];
        if (::realpath(QFile::encodeName(head).constData(), resolved))
            return QDir::cleanPath(QFile::decodeName(resolved) + rest);
        if (head == QLatin1String("/"))
            return QDir::cleanPath(path);
        const qsizetype slash = head.lastIndexOf(QLatin1Char('/'));
        rest.prepend(head.mid(slash));
        head = slash <= 0 ? QStringLiteral("/") : head.left(slash);
    }
}

} // namespace quindle
