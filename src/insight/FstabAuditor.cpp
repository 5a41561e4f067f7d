#include "insight/FstabAuditor.h"

#include "core/BackgroundPool.h"
#include "core/WhenFinished.h"
#include "platform/DesktopNouns.h"
#include "platform/VolumeLocations.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

FstabAuditor::FstabAuditor(QString fstabFile, QObject *parent)
    : QObject(parent)
    , m_fstabFile(std::move(fstabFile)) {}

bool FstabAuditor::detect(const QString &fstabFile) {
    return FstabEntry::hasProblematicEntry(fstabFile);
}

void FstabAuditor::refresh() {
    whenFinished(QtConcurrent::run(blockingPool(), [file = m_fstabFile] { return detect(file); }),
                 this, [this](bool hasEntry) { publish(hasEntry); });
}

void FstabAuditor::remove() {
    if (m_removing)
        return;
    m_removing = true;
    m_removalError.reset();
    Q_EMIT changed();
    whenFinished(FstabEntry::remove(m_fstabFile), this, [this](const FstabEntry::Result &result) {
        m_removing = false;
        if (!result.ok)
            m_removalError = result.message.value_or(QStringLiteral("Removing the entry failed."));
        Q_EMIT changed();
        refresh();
    });
}

void FstabAuditor::publish(bool hasEntry) {
    if (hasEntry == m_hasLegacyEntry)
        return;
    m_hasLegacyEntry = hasEntry;
    Q_EMIT changed();
}

QString FstabAuditor::rowText() {
    return QStringLiteral(
        "Can prevent your encrypted drive from auto-mounting at boot. Click to remove.");
}

QString FstabAuditor::hint() {
    return QStringLiteral("An %1 entry from an earlier Quindle install pins the NVMe mount point "
                          "in a way that interferes with %2. Click to remove it.")
        .arg(FstabEntry::systemFile(), platform::encryptedVolumesNoun());
}

QString FstabAuditor::removalTitle() {
    return QStringLiteral("Remove fstab entry");
}

QString FstabAuditor::removalText() {
    return QStringLiteral("Backs up %1 and removes the %2 line. %3")
        .arg(FstabEntry::systemFile(), platform::defaultNVMePath(),
             platform::administratorPasswordNotice());
}

} // namespace quindle
