#include "app/CommandOutput.h"

#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace quindle {

int refused(const QString &sentence) {
    QTextStream(stderr) << sentence << '\n';
    return 2;
}

int failed(const QString &message) {
    QTextStream(stderr) << message << '\n';
    return 1;
}

QString pipedSecret() {
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return {};
    QByteArray bytes = input.readAll();
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

} // namespace quindle
