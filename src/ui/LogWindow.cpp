#include "ui/LogWindow.h"

#include "core/BackgroundPool.h"
#include "core/PathText.h"
#include "core/StatePaths.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle::ui {

namespace {

std::optional<QByteArray> readWhole(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

QList<int> LogWindow::lineChoices() {
    return {100, 500, 2000};
}

QString LogWindow::excerpt(const std::optional<QByteArray> &content, const QString &path,
                           int lines) {
    if (!content)
        return QStringLiteral("(log not found at ") + path + QLatin1Char(')');
    if (content->isEmpty())
        return QStringLiteral("(log empty)");
    // The last `lines` pieces begin after the lines-th line feed from the end; scanning back
    // spares splitting a long log on every tick.
    qsizetype start = 0;
    qsizetype from = content->size() - 1;
    for (int i = 0; i < lines; ++i) {
        const qsizetype feed = from < 0 ? -1 : content->lastIndexOf('\n', from);
        if (feed < 0) {
            start = 0;
            break;
        }
        start = feed + 1;
        from = feed - 1;
    }
    return QString::fromUtf8(content->constData() + start, content->size() - start);
}

LogWindow::LogWindow(QWidget *parent)
    : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    top->addWidget(heading(QStringLiteral("Log: ") + tildePath(paths::serviceLog()), this), 1);
    auto *linesLabel = new QLabel(QStringLiteral("Lines"), this);
    top->addWidget(linesLabel);
    m_lines = new QComboBox(this);
    for (int choice : lineChoices())
        m_lines->addItem(QString::number(choice), choice);
    m_lines->setCurrentIndex(lineChoices().indexOf(defaultLines));
    linesLabel->setBuddy(m_lines);
    name(m_lines, QStringLiteral("Lines"), QStringLiteral("How many of the last lines to show"));
    top->addWidget(m_lines);
    top->addSpacing(12);
    m_autoScroll = new QCheckBox(QStringLiteral("Auto-scroll"), this);
    m_autoScroll->setChecked(true);
    name(m_autoScroll, QStringLiteral("Auto-scroll"),
         QStringLiteral("Keep the view at the end of the log"));
    top->addWidget(m_autoScroll);
    layout->addLayout(top);

    m_view = new QPlainTextEdit(this);
    m_view->setReadOnly(true);
    m_view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    name(m_view, QStringLiteral("Service log"));
    layout->addWidget(m_view, 1);

    connect(m_lines, &QComboBox::currentIndexChanged, this, [this] { present(); });
    connect(m_autoScroll, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            scrollToEnd();
    });
    m_timer.setInterval(refreshInterval);
    connect(&m_timer, &QTimer::timeout, this, &LogWindow::reload);
}

void LogWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    reload();
    m_timer.start();
}

void LogWindow::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    m_timer.stop();
}

void LogWindow::reload() {
    if (m_reading)
        return; // a slow disk: the next tick reads again
    m_reading = true;
    const QString path = paths::serviceLog();
    QtConcurrent::run(blockingPool(), readWhole, path)
        .then(this, [this, path](const std::optional<QByteArray> &content) {
            m_reading = false;
            m_path = path;
            m_content = content;
            present();
            Q_EMIT refreshed();
        });
}

void LogWindow::present() {
    const QString text = excerpt(m_content, m_path, m_lines->currentData().toInt());
    if (text != m_view->toPlainText()) {
        QScrollBar *bar = m_view->verticalScrollBar();
        const int kept = bar->value();
        m_view->setPlainText(text);
        if (!m_autoScroll->isChecked())
            bar->setValue(kept);
    }
    if (m_autoScroll->isChecked())
        scrollToEnd();
}

void LogWindow::scrollToEnd() {
    QScrollBar *bar = m_view->verticalScrollBar();
    bar->setValue(bar->maximum());
}

} // namespace quindle::ui
