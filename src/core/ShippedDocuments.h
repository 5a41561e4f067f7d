#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace quindle {

// A Markdown text shipped with the application.
struct ShippedDocument {
    QString title;    // "Security Policy"
    QString folder;   // where the build keeps it
    QString fileName; // "SECURITY-POLICY.md"

    // Its text; nothing when the build lacks it or it is not UTF-8 text.
    std::optional<QString> read() const;
    // The sentence shown instead of a missing text.
    QString missingMessage() const;
};

// The Legal menu's documents, in its order.
const QList<ShippedDocument> &legalMenuDocuments();
// The guide behind Help.
ShippedDocument helpGuide();

} // namespace quindle
