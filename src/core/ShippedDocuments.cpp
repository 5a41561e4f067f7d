#include "core/ShippedDocuments.h"

#include "core/AtomicFile.h"
#include "core/Installer.h"

#include <QDir>
#include <QStringDecoder>

namespace quindle {

std::optional<QString> ShippedDocument::read() const {
    if (folder.isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> bytes = readWholeFile(QDir(folder).filePath(fileName));
    if (!bytes)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(*bytes);
    return decoder.hasError() ? std::nullopt : std::optional(text);
}

QString ShippedDocument::missingMessage() const {
    return QStringLiteral("Quindle could not read the %1 it ships with (%2 in %3).")
        .arg(title, fileName, folder.isEmpty() ? QStringLiteral("its resources") : folder);
}

const QList<ShippedDocument> &legalMenuDocuments() {
    static const QList<ShippedDocument> documents = [] {
        const QString folder = Installer::bundledLegalFolder();
        return QList<ShippedDocument>{
            {QStringLiteral("Terms of Service"), folder, QStringLiteral("TERMS-OF-SERVICE.md")},
            {QStringLiteral("Privacy Policy"), folder, QStringLiteral("PRIVACY-POLICY.md")},
            {QStringLiteral("Disclaimer"), folder, QStringLiteral("DISCLAIMER.md")},
            {QStringLiteral("Security Policy"), folder, QStringLiteral("SECURITY-POLICY.md")},
            {QStringLiteral("Third-party notices"), folder,
             QStringLiteral("THIRD-PARTY-NOTICES.md")},
        };
    }();
    return documents;
}

ShippedDocument helpGuide() {
    return {QStringLiteral("Help"), Installer::bundledHelpFolder(), QStringLiteral("GUIDE.md")};
}

} // namespace quindle
