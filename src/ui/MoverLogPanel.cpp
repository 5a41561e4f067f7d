#include "ui/MoverLogPanel.h"

#include "mover/MoverLog.h"
#include "ui/Theme.h"
#include "ui/ToastLabel.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace quindle::ui {

MoverLogPanel::MoverLogPanel(MoverLog &log, QWidget *parent)
    : QWidget(parent)
    , m_log(log) {
    setFixedSize(textWidth(this, 113), textHeight(this, 27));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(heading(titleText(), this));
    layout->addWidget(caption(subtitleText(), this));

    m_pages = new QStackedWidget(this);
    auto *empty = new QWidget(m_pages);
    auto *emptyLayout = new QVBoxLayout(empty);
    emptyLayout->addStretch(1);
    auto *emptyTitle = new QLabel(MoverLog::emptyTitle(), empty);
    QFont bold = emptyTitle->font();
    bold.setBold(true);
    emptyTitle->setFont(bold);
    emptyTitle->setAlignment(Qt::AlignCenter);
    emptyLayout->addWidget(emptyTitle);
    auto *emptyHint = caption(MoverLog::emptyHint(), empty);
    emptyHint->setAlignment(Qt::AlignCenter);
    emptyLayout->addWidget(emptyHint);
    emptyLayout->addStretch(1);
    m_pages->addWidget(empty);

    m_view = new QPlainTextEdit(m_pages);
    m_view->setReadOnly(true);
    m_view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_view->setMaximumBlockCount(MoverLog::maxLines);
    name(m_view, QStringLiteral("Live transfer log"));
    m_pages->addWidget(m_view);
    layout->addWidget(m_pages, 1);

    auto *footer = new QHBoxLayout;
    m_message = new ToastLabel(this);
    footer->addWidget(m_message, 1);
    footer->addStretch(0);
    m_copy = new QPushButton(QStringLiteral("Copy all"), this);
    name(m_copy, QStringLiteral("Copy all"),
         QStringLiteral("Copy every log line to the clipboard"));
    dimWhenDisabled(m_copy);
    m_clear = new QPushButton(QStringLiteral("Clear"), this);
    name(m_clear, QStringLiteral("Clear the log"),
         QStringLiteral("Remove every line from the log"));
    dimWhenDisabled(m_clear);
    footer->addWidget(m_copy);
    footer->addWidget(m_clear);
    layout->addLayout(footer);

    connect(m_copy, &QPushButton::clicked, this, [this] {
        QGuiApplication::clipboard()->setText(m_log.renderedText());
        m_message->post(
            Toast{MoverLog::copiedMessage(m_log.lines().size()), quindle::Tone::Success});
    });
    connect(m_clear, &QPushButton::clicked, &m_log, &MoverLog::clear);
    // rsync prints many lines a second; the view catches up ten times a second at most, which
    // still reads as live.
    constexpr int catchUpMs = 100;
    m_coalesce.setSingleShot(true);
    m_coalesce.setInterval(catchUpMs);
    connect(&m_coalesce, &QTimer::timeout, this, &MoverLogPanel::sync);
    connect(&m_log, &MoverLog::linesChanged, this, [this] {
        if (m_log.lines().isEmpty())
            sync(); // a clear shows at once
        else if (isVisible() && !m_coalesce.isActive())
            m_coalesce.start();
    });
    sync();
}

QString MoverLogPanel::titleText() {
    return QStringLiteral("Live transfer logs");
}

QString MoverLogPanel::subtitleText() {
    return QStringLiteral("Exact rsync command, file-by-file stdout, stderr, and phase "
                          "transitions for every move.");
}

void MoverLogPanel::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    sync();
}

void MoverLogPanel::sync() {
    const QList<MoverLogLine> &lines = m_log.lines();
    const bool empty = lines.isEmpty();
    m_pages->setCurrentIndex(empty ? 0 : 1);
    m_copy->setEnabled(!empty);
    m_clear->setEnabled(!empty);
    if (empty) {
        m_view->clear();
        m_lastShown = QUuid();
        return;
    }
    if (lines.constLast().id == m_lastShown)
        return;
    // Only the lines after the newest one shown; the view drops its oldest lines itself.
    qsizetype next = -1;
    if (!m_lastShown.isNull())
        for (qsizetype i = lines.size() - 1; i >= 0; --i)
            if (lines.at(i).id == m_lastShown) {
                next = i + 1;
                break;
            }
    if (next < 0) {
        rebuild();
        return;
    }
    QScrollBar *bar = m_view->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QStringList added;
    for (qsizetype i = next; i < lines.size(); ++i)
        added << lines.at(i).rendered();
    m_view->appendPlainText(added.join(QLatin1Char('\n')));
    m_lastShown = lines.constLast().id;
    if (atEnd)
        bar->setValue(bar->maximum());
}

void MoverLogPanel::rebuild() {
    m_view->setPlainText(m_log.renderedText());
    m_lastShown = m_log.lines().isEmpty() ? QUuid() : m_log.lines().constLast().id;
    m_view->verticalScrollBar()->setValue(m_view->verticalScrollBar()->maximum());
}

} // namespace quindle::ui
