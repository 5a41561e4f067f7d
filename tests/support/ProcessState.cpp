#include "support/ProcessState.h"

#include <QFile>
#include <QString>

namespace quindle::test {

bool processEnded(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    // The name field may hold spaces and parentheses: the state follows its last ')'.
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}

} // namespace quindle::test
