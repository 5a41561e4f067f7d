#include "ui/DocumentWindow.h"

#include "ui/MarkdownView.h"
#include "ui/Theme.h"

#include <QVBoxLayout>

namespace quindle::ui {

DocumentWindow::DocumentWindow(const ShippedDocument &document, QWidget *parent)
    : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new MarkdownView(this);
    m_view->setFrameShape(QFrame::NoFrame);
    // Reading width and breathing room, as a guide is read.
    m_view->document()->setDocumentMargin(24);
    name(m_view, document.title);
    if (const std::optional<QString> text = document.read())
        m_view->setMarkdown(*text);
    else
        m_view->setPlainText(document.missingMessage());
    layout->addWidget(m_view);
}

} // namespace quindle::ui
