#pragma once

#include <QTextBrowser>
#include <QUrl>

namespace quindle::ui {

// Markdown shown read-only. A web link opens in the browser; any other link does nothing, so a
// reference to a file beside the text neither replaces the text nor opens a program.
class MarkdownView : public QTextBrowser {
    Q_OBJECT
public:
    // The text comes with QTextEdit::setMarkdown.
    explicit MarkdownView(QWidget *parent = nullptr);

Q_SIGNALS:
    // A web link was handed to the browser; `error` says why that failed, empty when it did not.
    void linkOpened(const QUrl &url, const QString &error);
};

} // namespace quindle::ui
