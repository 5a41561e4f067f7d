#pragma once

#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

namespace quindle::ui {

struct Question {
    QString windowTitle;
    QString question;
    QString details;
    QString confirmLabel;
    QString confirmHint;
    // A destructive answer is drawn in red and Return gives Cancel instead.
    bool destructive = true;
};

// Asks without a nested event loop (window-modal when `parent` is given) and calls `answered`
// once, true for the confirming button. The box is wide enough to read at any font size; it
// deletes itself when closed.
QMessageBox *openConfirmation(QWidget *parent, const Question &question,
                              std::function<void(bool confirmed)> answered);

} // namespace quindle::ui
