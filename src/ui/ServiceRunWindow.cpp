#include "ui/ServiceRunWindow.h"

#include "insight/ServiceRun.h"
#include "ui/StatusIcons.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

constexpr int kIconSize = 32;

QString elapsedText(qint64 seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

RunWindowTexts RunWindowTexts::freeSpace() {
    return {QStringLiteral("(waiting for daemon output…)"),
            QStringLiteral("Freeing up space…"),
            QStringLiteral("This run continues in the background if you close — open the popover "
                           "and click the running pill to come back here."),
            QStringLiteral("Free Up Space complete"),
            QStringLiteral("Done · check the result banner in the popover for the summary"),
            QStringLiteral("Free Up Space failed")};
}

RunWindowTexts RunWindowTexts::cloudOptimisation() {
    return {QStringLiteral("(waiting for the daemon to start walking the tree…)"),
            QStringLiteral("Optimising the cloud folder locally…"),
            QStringLiteral("Walking the tree and evicting downloaded files. Closing this window "
                           "doesn't stop the run."),
            QStringLiteral("Cloud folder optimisation complete"),
            QStringLiteral("Done · evicted files re-download on demand when you open them"),
            QStringLiteral("Cloud folder optimisation failed"),
            true};
}

RunWindowTexts RunWindowTexts::folderMove() {
    return {QStringLiteral("(waiting for the daemon to start the move…)"),
            QStringLiteral("Moving to NVMe…"),
            QStringLiteral("The folder is copied, proven identical, then replaced by a link. "
                           "Closing this window doesn't stop the move."),
            QStringLiteral("Move to NVMe complete"),
            QStringLiteral("Done · the folder now lives on the NVMe behind a link"),
            QStringLiteral("Move to NVMe failed"),
            true};
}

ServiceRunWindow::ServiceRunWindow(ServiceRun &run, RunWindowTexts texts, QWidget *parent)
    : QWidget(parent)
    , m_run(run)
    , m_texts(std::move(texts)) {
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(8);

    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    m_icon = new QLabel(this);
    m_icon->setFixedSize(kIconSize, kIconSize);
    header->addWidget(m_icon, 0, Qt::AlignTop);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto *titleRow = new QHBoxLayout;
    m_title = heading(QString(), this);
    name(m_title, QStringLiteral("Run state"));
    titleRow->addWidget(m_title, 1);
    m_elapsed = caption(QString(), this);
    m_elapsed->setWordWrap(false);
    name(m_elapsed, QStringLiteral("Elapsed time"));
    titleRow->addWidget(m_elapsed, 0, Qt::AlignTop);
    titles->addLayout(titleRow);
    m_target = caption(QString(), this);
    m_target->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name(m_target, QStringLiteral("Path"));
    titles->addWidget(m_target);
    m_note = caption(QString(), this);
    name(m_note, QStringLiteral("Note"));
    titles->addWidget(m_note);
    header->addLayout(titles, 1);
    layout->addLayout(header);

    m_busy = new QProgressBar(this);
    m_busy->setRange(0, 0); // no end is known: it only shows the run is alive
    m_busy->setTextVisible(false);
    m_busy->setMaximumHeight(6);
    name(m_busy, QStringLiteral("Running"));
    layout->addWidget(m_busy);
    m_output = new QPlainTextEdit(this);
    m_output->setReadOnly(true);
    m_output->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    name(m_output, QStringLiteral("Output"));
    layout->addWidget(m_output, 1);

    auto *buttons = new QHBoxLayout;
    auto *copy = new QPushButton(QStringLiteral("Copy output to clipboard"), this);
    name(copy, QStringLiteral("Copy output to clipboard"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(m_run.output()); });
    buttons->addWidget(copy);
    buttons->addStretch(1);
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    name(m_stop, QStringLiteral("Stop"),
         QStringLiteral("End the run now; what it has not finished stays where it was"));
    connect(m_stop, &QPushButton::clicked, &m_run, &ServiceRun::stop);
    buttons->addWidget(m_stop);
    layout->addLayout(buttons);

    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &ServiceRunWindow::showElapsed);
    connect(&m_run, &ServiceRun::changed, this, &ServiceRunWindow::rebuild);
    rebuild();
}

void ServiceRunWindow::rebuild() {
    const bool running = m_run.isRunning();
    const std::optional<int> &code = m_run.exitCode();
    if (running) {
        m_title->setText(m_texts.running);
        setTone(m_title, Tone::Neutral);
        m_note->setText(m_texts.note);
    } else if (code) {
        const bool ok = *code == 0;
        m_title->setText(ok ? m_texts.succeeded : m_texts.failed);
        setTone(m_title, ok ? Tone::Good : Tone::Bad);
        m_note->setText(ok ? m_texts.doneNote
                           : QStringLiteral("Exited with code %1 · see output above").arg(*code));
        m_icon->setPixmap(ok ? checkIcon(this, kIconSize) : warningIcon(this, kIconSize));
    } else {
        // Never started, or it could not be launched: the output says which.
        m_title->setText(m_run.output().isEmpty() ? QString() : m_texts.failed);
        setTone(m_title, Tone::Bad);
        m_note->clear();
        m_icon->clear();
    }
    m_icon->setVisible(code.has_value() && !running);
    m_busy->setVisible(running);
    m_output->setPlaceholderText(running ? m_texts.waiting : QString());
    m_target->setVisible(m_texts.showsTarget && !m_run.target().isEmpty());
    m_target->setText(QStringLiteral("Path: ") + m_run.target());
    m_note->setVisible(!m_note->text().isEmpty());

    const QString &output = m_run.output();
    if (m_output->toPlainText() != output) {
        QScrollBar *bar = m_output->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        m_output->setPlainText(output);
        if (atEnd)
            bar->setValue(bar->maximum());
    }
    m_stop->setVisible(running);
    if (running && !m_clock.isActive())
        m_clock.start();
    else if (!running)
        m_clock.stop();
    showElapsed();
}

void ServiceRunWindow::showElapsed() {
    const std::optional<QDateTime> &start = m_run.startedAt();
    if (!start) {
        m_elapsed->clear();
        return;
    }
    const QDateTime end = m_run.finishedAt().value_or(QDateTime::currentDateTimeUtc());
    m_elapsed->setText(elapsedText(start->secsTo(end)));
}

} // namespace quindle::ui
