#include "ui/AccountsPane.h"

#include "transfers/SecretVault.h"
#include "ui/Confirmation.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quindle::ui {

AccountsPane::AccountsPane(QWidget *parent)
    : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading(QStringLiteral("Credential vault"), this));
    layout->addWidget(caption(
        QStringLiteral("The passwords and keys of your cloud accounts are kept encrypted in a "
                       "vault that only this computer can open."),
        this));
    QLabel *path = caption(QStringLiteral("Vault file: ") + SecretVault::vaultPath(), this);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(path);
    layout->addWidget(caption(
        QStringLiteral("If the vault was made on another computer or its key was lost, reset it "
                       "and enter your account credentials again."),
        this));
    auto *row = new QHBoxLayout;
    auto *reset = new QPushButton(QStringLiteral("Reset Vault…"), this);
    name(reset, QStringLiteral("Reset Vault"), resetDetails());
    connect(reset, &QPushButton::clicked, this, &AccountsPane::askToReset);
    row->addWidget(reset);
    row->addStretch(1);
    layout->addLayout(row);
    m_result = new QLabel(this);
    m_result->setWordWrap(true);
    name(m_result, QStringLiteral("Vault reset result"));
    layout->addWidget(m_result);
    layout->addStretch(1);
}

QString AccountsPane::resetQuestion() {
    return QStringLiteral("Reset the credential vault?");
}

QString AccountsPane::resetDetails() {
    return QStringLiteral("Every stored credential is set aside and must be entered again. The "
                          "old vault is kept beside the new one under a .reset name, so a "
                          "mistaken reset can still be undone by hand.");
}

QMessageBox *AccountsPane::askToReset() {
    Question question;
    question.windowTitle = QStringLiteral("Reset Vault");
    question.question = resetQuestion();
    question.details = resetDetails();
    question.confirmLabel = QStringLiteral("Reset Vault");
    return openConfirmation(this, question, [this](bool confirmed) {
        if (!confirmed)
            return;
        const std::optional<QString> error = SecretVault::reset();
        m_result->setText(error.value_or(
            QStringLiteral("The vault was reset. Enter your account credentials again.")));
        setTone(m_result, error ? Tone::Bad : Tone::Good);
    });
}

} // namespace quindle::ui
