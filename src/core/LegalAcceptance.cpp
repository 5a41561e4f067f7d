#include "core/LegalAcceptance.h"

#include "core/AtomicFile.h"
#include "core/Installer.h"
#include "core/JsonFormat.h"
#include "core/NVMeShadow.h"
#include "platform/HomeDirectory.h"
#include "platform/MachineFingerprint.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace quindle {

namespace {

std::optional<LegalAcceptanceRecord> loadRecord() {
    QString path = NVMeShadow::internalPath(LegalAcceptance::basename());
    if (!QFileInfo::exists(path)) {
        const std::optional<QString> mirror = NVMeShadow::shadowPath(LegalAcceptance::basename());
        if (!mirror)
            return std::nullopt;
        path = *mirror;
    }
    const std::optional<QByteArray> bytes = readWholeFile(path);
    return bytes ? LegalAcceptanceRecord::decode(*bytes) : std::nullopt;
}

bool acceptsAll(const LegalAcceptanceRecord &record,
                const QMap<LegalDocument, LegalDocumentSnapshot> &shipped) {
    if (record.withdrawnAt)
        return false;
    for (LegalDocument document : legalDocuments()) {
        const auto accepted = record.documents.constFind(baseName(document));
        if (!shipped.contains(document) || accepted == record.documents.cend() ||
            accepted->sha256 != shipped.value(document).sha256)
            return false;
    }
    return true;
}

} // namespace

LegalAcceptance::LegalAcceptance(QObject *parent)
    : LegalAcceptance(Installer::bundledLegalFolder(), parent) {}

LegalAcceptance::LegalAcceptance(QString documentsFolder, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(documentsFolder)) {
    refresh();
}

std::optional<QString> LegalAcceptance::documentPath(LegalDocument document) const {
    if (m_folder.isEmpty())
        return std::nullopt;
    const QString file = baseName(document) + QStringLiteral(".md");
    // A bundle may keep the documents at the top of its resources instead.
    for (const QString &folder : {m_folder, m_folder + QStringLiteral("/..")}) {
        const QString path = QDir::cleanPath(folder + QLatin1Char('/') + file);
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

std::optional<QString> LegalAcceptance::bundledText(LegalDocument document) const {
    const std::optional<QString> path = documentPath(document);
    const std::optional<QByteArray> bytes = path ? readWholeFile(*path) : std::nullopt;
    return bytes ? std::optional(QString::fromUtf8(*bytes)) : std::nullopt;
}

std::optional<QUrl> LegalAcceptance::bundleUrl(LegalDocument document) const {
    const std::optional<QString> path = documentPath(document);
    return path ? std::optional(QUrl::fromLocalFile(*path)) : std::nullopt;
}

QList<LegalDocument> LegalAcceptance::changedSinceLast() const {
    QList<LegalDocument> changed;
    if (!m_record)
        return changed;
    for (LegalDocument document : legalDocuments()) {
        const auto shipped = m_snapshots.constFind(document);
        if (shipped == m_snapshots.cend())
            continue; // a missing document is a broken build, not an update
        const auto accepted = m_record->documents.constFind(baseName(document));
        if (accepted == m_record->documents.cend() || accepted->sha256 != shipped->sha256)
            changed.append(document);
    }
    return changed;
}

void LegalAcceptance::refresh() {
    QMap<LegalDocument, LegalDocumentSnapshot> snapshots;
    for (LegalDocument document : legalDocuments()) {
        const std::optional<QString> path = documentPath(document);
        if (const std::optional<QByteArray> bytes = path ? readWholeFile(*path) : std::nullopt)
            snapshots.insert(document, LegalDocumentSnapshot::of(*bytes));
    }
    publish(loadRecord(), std::move(snapshots));
}

bool LegalAcceptance::recordAcceptance() {
    LegalAcceptanceRecord record;
    record.acceptedAt = nowUtc();
    record.acceptedByUsername = platform::userName();
    record.deviceUUID = platform::machineUUID();
    for (auto it = m_snapshots.cbegin(); it != m_snapshots.cend(); ++it)
        record.documents.insert(baseName(it.key()), it.value());
    record.language = QLocale::system().name();
    if (!NVMeShadow::write(record.encode(), basename(), ShadowPolicy::Mirror))
        return false;
    publish(std::move(record), m_snapshots);
    return true;
}

void LegalAcceptance::publish(std::optional<LegalAcceptanceRecord> record,
                              QMap<LegalDocument, LegalDocumentSnapshot> snapshots) {
    const bool accepted = record && acceptsAll(*record, snapshots);
    if (record == m_record && snapshots == m_snapshots && accepted == m_acceptedCurrent)
        return;
    m_record = std::move(record);
    m_snapshots = std::move(snapshots);
    m_acceptedCurrent = accepted;
    Q_EMIT changed();
}

} // namespace quindle
