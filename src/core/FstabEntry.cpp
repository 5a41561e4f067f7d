#include "core/FstabEntry.h"

#include "core/AtomicFile.h"
#include "core/BackgroundPool.h"
#include "core/ServiceBridge.h"
#include "core/ServiceStatus.h"
#include "platform/PrivilegedShell.h"
#include "platform/VolumeLocations.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

namespace {

// Characters that mean nothing to sh inside single quotes nor to a sed address. Anything else
// is refused rather than escaped: the command runs as the administrator.
bool isSafeCharacter(QChar c) {
    static const QString punctuation = QStringLiteral(" /._-+,:=@");
    return c.isLetterOrNumber() || punctuation.contains(c);
}

QString sedAddress(const QString &needle) {
    QString escaped;
    for (const QChar c : needle) {
        if (c == QLatin1Char('/') || c == QLatin1Char('.') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QStringLiteral("-e '/") + escaped + QStringLiteral("/d'");
}

bool containsNeedle(const QString &line, const QString &needle) {
    return !needle.isEmpty() &&
           (line.contains(needle) || line.contains(FstabEntry::writtenForm(needle)));
}

} // namespace

QString FstabEntry::writtenForm(const QString &path) {
    QString written = path;
    written.replace(QLatin1Char('\\'), QLatin1String("\\134"));
    written.replace(QLatin1Char(' '), QLatin1String("\\040"));
    written.replace(QLatin1Char('\t'), QLatin1String("\\011"));
    return written;
}

QStringList FstabEntry::needles() {
    QStringList needles{platform::defaultNVMePath()};
    const std::optional<QString> current = StatusFileKeys::read().nvmePath;
    if (current && !current->isEmpty() && !needles.contains(*current))
        needles << *current;
    return needles;
}

bool FstabEntry::hasProblematicEntry(const QString &fstabText, const QStringList &needles) {
    for (const QString &raw : fstabText.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        for (const QString &needle : needles)
            if (containsNeedle(line, needle))
                return true;
    }
    return false;
}

bool FstabEntry::hasProblematicEntry(const QString &fstabFile) {
    const std::optional<QByteArray> text = readWholeFile(fstabFile);
    return text && hasProblematicEntry(QString::fromUtf8(*text), needles());
}

std::optional<QString> FstabEntry::removalCommand(const QStringList &needles, const QDateTime &now,
                                                  const QString &fstabFile) {
    QStringList addresses;
    for (const QString &needle : needles) {
        if (needle.isEmpty() || !std::all_of(needle.begin(), needle.end(), isSafeCharacter))
            return std::nullopt;
        addresses << sedAddress(needle);
        if (const QString written = writtenForm(needle); written != needle)
            addresses << sedAddress(written);
    }
    if (addresses.isEmpty())
        return std::nullopt;
    const QString &fstab = fstabFile;
    if (!std::all_of(fstab.begin(), fstab.end(), isSafeCharacter))
        return std::nullopt;
    const QString stamp = now.toUTC().toString(Qt::ISODate).remove(QLatin1Char(':'));
    return platform::copyProgram() + QLatin1Char(' ') + fstab + QLatin1Char(' ') + fstab +
           QStringLiteral(".quindle-backup-") + stamp + QStringLiteral(" && ") +
           platform::sedInPlaceCommand() + QLatin1Char(' ') + addresses.join(QLatin1Char(' ')) +
           QLatin1Char(' ') + fstab;
}

QString FstabEntry::systemFile() {
    return platform::fstabPath();
}

QFuture<FstabEntry::Result> FstabEntry::remove(const QString &fstabFile) {
    return QtConcurrent::run(blockingPool(), [fstabFile]() -> Result {
        if (!hasProblematicEntry(fstabFile))
            return {true, std::nullopt};
        const std::optional<QString> command =
            removalCommand(needles(), QDateTime::currentDateTimeUtc(), fstabFile);
        if (!command) {
            qWarning("Quindle: refused to build the fstab removal: a path holds a "
                     "character that is not safe in a shell command");
            return {
                false,
                QStringLiteral("Could not construct %1.").arg(platform::privilegedCommandNoun())};
        }
        const platform::PrivilegedOutcome outcome =
            platform::runPrivilegedShell(*command, &ServiceBridge::runProcessBlocking);
        switch (outcome.kind) {
        case platform::PrivilegedOutcome::Kind::Succeeded:
            return {true, std::nullopt};
        case platform::PrivilegedOutcome::Kind::Cancelled:
            return {false, QStringLiteral("Cancelled.")};
        case platform::PrivilegedOutcome::Kind::NotAuthorised:
        case platform::PrivilegedOutcome::Kind::Failed:
            break;
        }
        const QString output = outcome.output.trimmed();
        return {
            false,
            output.isEmpty()
                ? QStringLiteral("Removing the entry failed with status %1.").arg(outcome.status)
                : output};
    });
}

QString FstabEntry::removalPrompt() {
    return QStringLiteral("Quindle needs to remove an outdated entry from /etc/fstab that's "
                          "preventing your NVMe drive from auto-mounting at boot.");
}

} // namespace quindle
