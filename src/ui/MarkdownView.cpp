#include "ui/MarkdownView.h"

#include "platform/DesktopOpen.h"

#include <QTextDocument>

namespace quindle::ui {

MarkdownView::MarkdownView(QWidget *parent)
    : QTextBrowser(parent) {
    setReadOnly(true);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(fontMetrics().height());
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl &url) {
        if (!platform::isWebAddress(url))
            return;
        Q_EMIT linkOpened(url, platform::openUrl(url).value_or(QString()));
    });
}

} // namespace quindle::ui
