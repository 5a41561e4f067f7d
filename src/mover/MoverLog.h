#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace quindle {

// One line of the folder mover's live log.
struct MoverLogLine {
    // The raw strings show in the rendered line.
    enum class Source { RsyncStdout, RsyncStderr, Hashing, Cleanup, Phase, Enqueue, Command, Info };

    QUuid id;
    QDateTime timestamp;
    std::optional<QUuid> jobID;
    Source source = Source::Info;
    QString text;

    // "HH:mm:ss.SSS [source  ] [1A2B3C4D] text" in local time; "[--------]" without a job.
    QString rendered() const;
    bool operator==(const MoverLogLine &) const = default;
};

QString rawValue(MoverLogLine::Source source);

// The in-memory log of every command, rsync line and phase change; never written to disk.
class MoverLog : public QObject {
    Q_OBJECT
public:
    static constexpr int maxLines = 2000;

    explicit MoverLog(QObject *parent = nullptr);

    void append(MoverLogLine::Source source, const QString &text,
                std::optional<QUuid> jobID = std::nullopt);
    const QList<MoverLogLine> &lines() const { return m_lines; }
    void clear();

    // Every line rendered, joined by line feeds (the "Copy all" text).
    QString renderedText() const;
    // "n log line(s) copied to clipboard."
    static QString copiedMessage(qsizetype count);
    // What the viewer shows while there is nothing to show.
    static QString emptyTitle();
    static QString emptyHint();

Q_SIGNALS:
    void linesChanged();
    // Each line as it comes, whatever the cap has dropped since.
    void lineAppended(const quindle::MoverLogLine &line);

private:
    QList<MoverLogLine> m_lines;
};

} // namespace quindle
