#pragma once

#include "core/LegalAcceptanceRecord.h"
#include "core/LegalDocument.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace quindle {

// Whether the person using this computer accepted the legal documents this build ships. An
// acceptance counts for documents whose bytes are unchanged since, whatever their versions say;
// nothing leaves the computer. Main thread only.
class LegalAcceptance : public QObject {
    Q_OBJECT
public:
    // The documents shipped with this build.
    explicit LegalAcceptance(QObject *parent = nullptr);
    // The documents in `documentsFolder` (tests).
    explicit LegalAcceptance(QString documentsFolder, QObject *parent = nullptr);

    static QString basename() { return QStringLiteral("legal-acceptance.json"); }

    const std::optional<LegalAcceptanceRecord> &record() const { return m_record; }
    bool hasAcceptedCurrent() const { return m_acceptedCurrent; }
    // The shipped documents that can be read.
    const QMap<LegalDocument, LegalDocumentSnapshot> &bundledSnapshots() const {
        return m_snapshots;
    }
    // With a record: the shipped documents whose bytes differ from the accepted ones, in order.
    QList<LegalDocument> changedSinceLast() const;

    std::optional<QString> bundledText(LegalDocument document) const;
    std::optional<QUrl> bundleUrl(LegalDocument document) const;

    // Reads the record again (the state folder's copy, else the drive's mirror) and the shipped
    // documents.
    void refresh();
    // Records acceptance of the shipped documents by this user now, mirrored to the drive.
    // False when the record could not be written; it is then not published either.
    bool recordAcceptance();

Q_SIGNALS:
    void changed();

private:
    std::optional<QString> documentPath(LegalDocument document) const;
    void publish(std::optional<LegalAcceptanceRecord> record,
                 QMap<LegalDocument, LegalDocumentSnapshot> snapshots);

    QString m_folder;
    std::optional<LegalAcceptanceRecord> m_record;
    QMap<LegalDocument, LegalDocumentSnapshot> m_snapshots;
    bool m_acceptedCurrent = false;
};

} // namespace quindle
