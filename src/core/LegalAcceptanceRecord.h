#pragma once

#include "core/LegalDocument.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>

namespace quindle {

// One person's acceptance of the legal documents on this computer, as stored in
// ~/.quindle/state/legal-acceptance.json.
struct LegalAcceptanceRecord {
    static constexpr qint64 currentFormat = 1;

    qint64 version = currentFormat; // of the record's format
    QDateTime acceptedAt;
    QString acceptedByUsername;
    std::optional<QString> deviceUUID;
    QMap<QString, LegalDocumentSnapshot> documents; // by base name
    QString language;                               // the locale's identifier, "en_GB"
    std::optional<QDateTime> withdrawnAt;

    bool operator==(const LegalAcceptanceRecord &) const = default;

    QByteArray encode() const;
    // Nothing for text that is not such a record, whatever is wrong with it.
    static std::optional<LegalAcceptanceRecord> decode(const QByteArray &json);
};

} // namespace quindle
