#include "config/BashReader.h"

#include <QProcess>

namespace quindle::test {

namespace {

// Prints NUL-separated records, so any value bash can hold comes back intact.
const char *const kReader = R"BASH(
file=$1; shift
source "$file" </dev/null
printf 'R\0%d\0' "$?"
for spec in "$@"; do
    k=${spec#?:}
    declare -p "$k" >/dev/null 2>&1 || continue
    if [[ $spec == A:* ]]; then
        declare -n ref=$k
        printf 'A\0%s\0%d\0' "$k" "${#ref[@]}"
        for v in "${ref[@]}"; do printf '%s\0' "$v"; done
        unset -n ref
    else
        printf 'S\0%s\0%s\0' "$k" "${!k}"
    fi
done
)BASH";

} // namespace

Sourced sourceWithBash(const QString &file, const QStringList &scalarKeys,
                       const QStringList &arrayKeys) {
    QStringList arguments{QStringLiteral("--norc"), QStringLiteral("--noprofile"),
                          QStringLiteral("-c"),     QString::fromUtf8(kReader),
                          QStringLiteral("reader"), file};
    for (const QString &key : scalarKeys)
        arguments << QStringLiteral("S:") + key;
    for (const QString &key : arrayKeys)
        arguments << QStringLiteral("A:") + key;
    QProcess bash;
    bash.start(QStringLiteral("/bin/bash"), arguments);
    bash.waitForFinished(30000);

    Sourced result;
    result.errors = QString::fromUtf8(bash.readAllStandardError());
    const QList<QByteArray> fields = bash.readAllStandardOutput().split('\0');
    qsizetype i = 0;
    const auto next = [&] {
        return i < fields.size() ? QString::fromUtf8(fields.at(i++)) : QString();
    };
    while (i < fields.size()) {
        const QString tag = next();
        if (tag == QLatin1String("R")) {
            result.status = next().toInt();
        } else if (tag == QLatin1String("S")) {
            const QString key = next();
            result.scalars.insert(key, next());
        } else if (tag == QLatin1String("A")) {
            const QString key = next();
            const int count = next().toInt();
            QStringList values;
            for (int n = 0; n < count; ++n)
                values << next();
            result.arrays.insert(key, values);
        }
    }
    return result;
}

} // namespace quindle::test
