#include "ui/Confirmation.h"

#include "ui/Theme.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace quindle::ui {

namespace {

// About a paragraph's comfortable measure: narrower reads as a column of fragments.
constexpr int kMinimumTextColumns = 56;

} // namespace

QMessageBox *openConfirmation(QWidget *parent, const Question &question,
                              std::function<void(bool confirmed)> answered) {
    auto *box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (parent)
        box->setWindowModality(Qt::WindowModal);
    box->setIcon(question.destructive ? QMessageBox::Warning : QMessageBox::Question);
    box->setWindowTitle(question.windowTitle);
    box->setText(question.question);
    box->setInformativeText(question.details);
    QPushButton *confirm =
        box->addButton(question.confirmLabel, question.destructive ? QMessageBox::DestructiveRole
                                                                   : QMessageBox::AcceptRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    name(confirm, question.confirmLabel, question.confirmHint);
    name(cancel, QStringLiteral("Cancel"));
    box->setEscapeButton(cancel);
    if (question.destructive) {
        QPalette palette = confirm->palette();
        palette.setColor(QPalette::ButtonText, statusColor(Tone::Bad));
        confirm->setPalette(palette);
        box->setDefaultButton(cancel);
    } else {
        box->setDefaultButton(confirm);
    }
    // A message box sizes itself from its labels; a spacer across its grid is the width it
    // respects without cutting them.
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout()))
        grid->addItem(new QSpacerItem(box->fontMetrics().averageCharWidth() * kMinimumTextColumns,
                                      0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 1, 1, grid->columnCount() - 1);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, confirm, answered = std::move(answered)] {
                         answered(box->clickedButton() == confirm);
                     });
    box->open();
    return box;
}

} // namespace quindle::ui
