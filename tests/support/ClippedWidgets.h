#pragma once

#include <QStringList>

class QWidget;

namespace quindle::test {

// The visible widgets under `root` whose text is cut: a button or a one-line label narrower than
// its text needs, or a scroll area that shows a horizontal scrollbar. Each as "kind 'text'".
QStringList clippedWidgets(const QWidget *root);

// Sets the application's font size for as long as it lives.
class ApplicationFontSize {
public:
    explicit ApplicationFontSize(int points);
    ~ApplicationFontSize();
    ApplicationFontSize(const ApplicationFontSize &) = delete;
    ApplicationFontSize &operator=(const ApplicationFontSize &) = delete;

private:
    int m_previous;
};

} // namespace quindle::test
