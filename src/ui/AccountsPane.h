#pragma once

#include <QWidget>

class QLabel;
class QMessageBox;

namespace quindle::ui {

// Settings' Accounts pane: the credential vault, and starting it over when it cannot be opened
// any more (another computer, a lost key).
class AccountsPane : public QWidget {
    Q_OBJECT
public:
    explicit AccountsPane(QWidget *parent = nullptr);

    // Asks first; the question is returned so that tests can answer it.
    QMessageBox *askToReset();

    static QString resetQuestion();
    static QString resetDetails();

private:
    QLabel *m_result = nullptr;
};

} // namespace quindle::ui
