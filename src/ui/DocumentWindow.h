#pragma once

#include "core/ShippedDocuments.h"

#include <QWidget>

namespace quindle::ui {

class MarkdownView;

// A shipped Markdown text, read-only; a sentence in its place when the build lacks it.
class DocumentWindow : public QWidget {
    Q_OBJECT
public:
    explicit DocumentWindow(const ShippedDocument &document, QWidget *parent = nullptr);

    MarkdownView *view() const { return m_view; }

private:
    MarkdownView *m_view = nullptr;
};

} // namespace quindle::ui
