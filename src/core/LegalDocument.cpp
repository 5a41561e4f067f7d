#include "core/LegalDocument.h"

#include <QCryptographicHash>

namespace quindle {

const QList<LegalDocument> &legalDocuments() {
    static const QList<LegalDocument> all{LegalDocument::Terms, LegalDocument::Privacy,
                                          LegalDocument::Disclaimer};
    return all;
}

QString baseName(LegalDocument document) {
    switch (document) {
    case LegalDocument::Terms:
        return QStringLiteral("TERMS-OF-SERVICE");
    case LegalDocument::Privacy:
        return QStringLiteral("PRIVACY-POLICY");
    case LegalDocument::Disclaimer:
        return QStringLiteral("DISCLAIMER");
    }
    return {};
}

QString title(LegalDocument document) {
    switch (document) {
    case LegalDocument::Terms:
        return QStringLiteral("Terms of Service");
    case LegalDocument::Privacy:
        return QStringLiteral("Privacy Policy");
    case LegalDocument::Disclaimer:
        return QStringLiteral("Disclaimer");
    }
    return {};
}

LegalDocumentSnapshot LegalDocumentSnapshot::of(const QByteArray &bytes) {
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return {parseVersion(QString::fromUtf8(bytes)).value_or(QStringLiteral("0.0.0")), hash};
}

std::optional<QString> parseVersion(const QString &text) {
    static const QLatin1String prefix("version:");
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines.mid(0, 20)) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(prefix, Qt::CaseInsensitive))
            return trimmed.mid(prefix.size()).trimmed();
    }
    return std::nullopt;
}

} // namespace quindle
