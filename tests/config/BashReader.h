#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace quindle::test {

// What bash makes of a configuration file: the service sources it, so this is the reading that
// counts.
struct Sourced {
    QString errors;                    // bash's complaints, and a status of `source` other than 0
    QMap<QString, QStringList> values; // set variables only; a scalar is a list of one
};

// Sources `file` in a clean bash and reads `keys` back as NUL-separated records, so any value
// bash can hold comes back intact.
inline Sourced sourceWithBash(const QString &file, const QStringList &keys) {
    const char *const reader = R"BASH(
source "$1" </dev/null || echo "source ended with status $?" >&2
for k in "${@:2}"; do
    declare -p "$k" >/dev/null 2>&1 || continue
    declare -n ref=$k
    printf '%s\0%d\0' "$k" "${#ref[@]}"
    for v in "${ref[@]}"; do printf '%s\0' "$v"; done
    unset -n ref
done
)BASH";
    QProcess bash;
    bash.start("/bin/bash",
               QStringList{"--norc", "--noprofile", "-c", reader, "reader", file} + keys);
    bash.waitForFinished(30000);
    Sourced result{QString::fromUtf8(bash.readAllStandardError()), {}};
    const QList<QByteArray> fields = bash.readAllStandardOutput().split('\0');
    for (qsizetype i = 0; i + 1 < fields.size();) {
        const qsizetype count = fields.at(i + 1).toInt();
        QStringList values;
        for (qsizetype n = 0; n < count; ++n)
            values << QString::fromUtf8(fields.value(i + 2 + n));
        result.values.insert(QString::fromUtf8(fields.at(i)), values);
        i += 2 + count;
    }
    return result;
}

} // namespace quindle::test
