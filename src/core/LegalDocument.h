#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quindle {

// The documents a person accepts before Quindle does anything, in the order they are shown.
enum class LegalDocument { Terms, Privacy, Disclaimer };

const QList<LegalDocument> &legalDocuments();

// "PRIVACY-POLICY": the file is <base name>.md, and a record keys its snapshot by it.
QString baseName(LegalDocument document);
// "Privacy Policy".
QString title(LegalDocument document);

// What identifies one shipped text: its SHA-256 decides, the version is for people.
struct LegalDocumentSnapshot {
    QString version;
    QString sha256; // 64 lower-case hexadecimal digits

    bool operator==(const LegalDocumentSnapshot &) const = default;

    static LegalDocumentSnapshot of(const QByteArray &bytes);
};

// The text after "Version:" on the first of the first 20 non-empty lines that starts with it
// (in any letter case), trimmed; nothing when there is no such line.
std::optional<QString> parseVersion(const QString &text);

} // namespace quindle
