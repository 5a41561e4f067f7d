#include "ui/LogWindow.h"

#include "core/PathText.h"
#include "core/ServiceLogModel.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace quindle::ui {

QList<int> LogWindow::lineChoices() {
    return {100, 500, 2000};
}

LogWindow::LogWindow(ServiceLogModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model) {
    auto *layout = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    top->addWidget(heading(QStringLiteral("Log: ") + tildePath(ServiceLogModel::path()), this), 1);
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
    connect(&m_model, &ServiceLogModel::refreshed, this, [this] {
        present();
        Q_EMIT refreshed();
    });
}

void LogWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    m_model.startPolling();
}

void LogWindow::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    m_model.stopPolling();
}

void LogWindow::present() {
    const QString text = m_model.excerpt(m_lines->currentData().toInt());
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
