#include "mover/MoverLog.h"

#include "mover/MoveManifest.h"

namespace quindle {

QString rawValue(MoverLogLine::Source source) {
    switch (source) {
    case MoverLogLine::Source::RsyncStdout:
        return QStringLiteral("rsync");
    case MoverLogLine::Source::RsyncStderr:
        return QStringLiteral("rsync!");
    case MoverLogLine::Source::Hashing:
        return QStringLiteral("hashing");
    case MoverLogLine::Source::Cleanup:
        return QStringLiteral("cleanup");
    case MoverLogLine::Source::Phase:
        return QStringLiteral("phase");
    case MoverLogLine::Source::Enqueue:
        return QStringLiteral("enqueue");
    case MoverLogLine::Source::Command:
        return QStringLiteral("command");
    case MoverLogLine::Source::Info:
        return QStringLiteral("info");
    }
    return QString();
}

QString MoverLogLine::rendered() const {
    const QString job = jobID ? uuidText(*jobID).left(8) : QStringLiteral("--------");
    return timestamp.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral(" [") +
           rawValue(source).leftJustified(8, QLatin1Char(' ')) + QStringLiteral("] [") + job +
           QStringLiteral("] ") + text;
}

MoverLog::MoverLog(QObject *parent)
    : QObject(parent) {}

void MoverLog::append(MoverLogLine::Source source, const QString &text,
                      std::optional<QUuid> jobID) {
    m_lines.append(
        MoverLogLine{QUuid::createUuid(), QDateTime::currentDateTime(), jobID, source, text});
    // Every rsync progress line lands here; the cap is what bounds memory during long copies.
    if (m_lines.size() > maxLines)
        m_lines.remove(0, m_lines.size() - maxLines);
    Q_EMIT lineAppended(m_lines.last());
    Q_EMIT linesChanged();
}

void MoverLog::clear() {
    m_lines.clear();
    Q_EMIT linesChanged();
}

QString MoverLog::renderedText() const {
    QStringList rendered;
    rendered.reserve(m_lines.size());
    for (const MoverLogLine &line : m_lines)
        rendered << line.rendered();
    return rendered.join(QLatin1Char('\n'));
}

QString MoverLog::copiedMessage(qsizetype count) {
    return count == 1 ? QStringLiteral("1 log line copied to clipboard.")
                      : QStringLiteral("%1 log lines copied to clipboard.").arg(count);
}

QString MoverLog::emptyTitle() {
    return QStringLiteral("No log lines yet.");
}

QString MoverLog::emptyHint() {
    return QStringLiteral("Lines appear here as rsync runs, files transfer, and phases change. "
                          "Enqueue a move to start populating.");
}

} // namespace quindle
