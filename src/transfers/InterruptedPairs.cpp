#include "transfers/InterruptedPairs.h"

#include "core/AtomicFile.h"
#include "core/StatePaths.h"

#include <QDebug>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quindle::InterruptedPairs {

namespace {

QJsonObject pair(const QString &source, const QString &destination) {
    return {{QStringLiteral("source"), source}, {QStringLiteral("destination"), destination}};
}

QJsonArray read() {
    const std::optional<QByteArray> bytes = readWholeFile(file());
    return bytes ? QJsonDocument::fromJson(*bytes).array() : QJsonArray();
}

void write(const QJsonArray &pairs) {
    QDir().mkpath(paths::syncDirectory());
    if (const std::optional<QString> error =
            writeFileAtomically(file(), QJsonDocument(pairs).toJson(QJsonDocument::Indented)))
        qWarning().noquote() << "Quindle: the interrupted transfers could not be saved:" << *error;
}

} // namespace

QString file() {
    return paths::syncDirectory() + QStringLiteral("/interrupted.json");
}

bool contains(const QString &source, const QString &destination) {
    return read().contains(pair(source, destination));
}

void add(const QString &source, const QString &destination) {
    QJsonArray pairs = read();
    if (pairs.contains(pair(source, destination)))
        return;
    pairs << pair(source, destination);
    write(pairs);
}

void remove(const QString &source, const QString &destination) {
    QJsonArray pairs = read();
    const QJsonObject gone = pair(source, destination);
    bool changed = false;
    for (qsizetype i = pairs.size() - 1; i >= 0; --i)
        if (pairs.at(i) == gone) {
            pairs.removeAt(i);
            changed = true;
        }
    if (changed)
        write(pairs);
}

} // namespace quindle::InterruptedPairs
