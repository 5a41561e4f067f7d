#pragma once

#include "core/FstabEntry.h"

#include <QFuture>
#include <QObject>
#include <QString>

#include <optional>

namespace quindle {

// Whether a line left in the file system table by an earlier install pins the drive's mount
// point, and its removal. Detection reads files, so it runs off the UI thread.
class FstabAuditor : public QObject {
    Q_OBJECT
public:
    explicit FstabAuditor(QString fstabFile = FstabEntry::systemFile(), QObject *parent = nullptr);

    bool hasLegacyEntry() const { return m_hasLegacyEntry; }
    // Why the last removal did not happen ("Cancelled."); none after a success or a new one.
    const std::optional<QString> &removalError() const { return m_removalError; }
    bool isRemoving() const { return m_removing; }

    static bool detect(const QString &fstabFile);
    // Detects again; changed() follows when the answer differs.
    void refresh();
    // Backs the table up and removes the line as administrator, then detects again.
    void remove();

    static QString rowText();
    static QString hint();
    static QString removalTitle();
    static QString removalText();

Q_SIGNALS:
    void changed();

private:
    void publish(bool hasEntry);

    QString m_fstabFile;
    bool m_hasLegacyEntry = false;
    bool m_removing = false;
    std::optional<QString> m_removalError;
};

} // namespace quindle
