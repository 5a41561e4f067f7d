#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace quindle::test {

// What bash makes of a configuration file: the service sources it, so this is the reading that
// counts.
struct Sourced {
    int status = -1;                   // of `source`; 0 for a file bash reads to its end
    QString errors;                    // bash's complaints
    QMap<QString, QString> scalars;    // set variables only
    QMap<QString, QStringList> arrays; // set variables only
};

Sourced sourceWithBash(const QString &file, const QStringList &scalarKeys,
                       const QStringList &arrayKeys = {});

} // namespace quindle::test
