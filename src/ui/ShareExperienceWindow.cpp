#include "ui/ShareExperienceWindow.h"

#include "ui/Theme.h"
#include "updates/ShareExperience.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextEdit>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

// A line edit that writes what is typed straight into the model's form.
QLineEdit *field(QWidget *parent, const QString &accessibleName, QString *target,
                 const QString &placeholder = {}) {
    auto *edit = new QLineEdit(*target, parent);
    edit->setPlaceholderText(placeholder);
    name(edit, accessibleName);
    QObject::connect(edit, &QLineEdit::textChanged, edit,
                     [target](const QString &text) { *target = text; });
    return edit;
}

} // namespace

ShareExperienceWindow::ShareExperienceWindow(ShareExperience &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(formPage());
    m_pages->addWidget(donePage());
    layout->addWidget(m_pages);
    connect(&m_model, &ShareExperience::changed, this, &ShareExperienceWindow::refresh);
    refresh();
}

QComboBox *ShareExperienceWindow::choices(const QString &accessibleName,
                                          const QList<ShareExperience::Choice> &list,
                                          QString *field) {
    auto *box = new QComboBox(this);
    for (const ShareExperience::Choice &choice : list)
        box->addItem(choice.label, choice.value);
    box->setCurrentIndex(std::max(0, box->findData(*field)));
    name(box, accessibleName);
    connect(box, &QComboBox::currentIndexChanged, this, [this, box, field] {
        *field = box->currentData().toString();
        refresh();
    });
    return box;
}

QWidget *ShareExperienceWindow::formPage() {
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(heading(QStringLiteral("Share Your Experience"), page));
    auto *intro = new QLabel(QStringLiteral("Tell us what works and what gets in your way. We "
                                            "check your email address with a one-time code "
                                            "first, so that the inbox stays free of spam."),
                             page);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    ShareExperience::Form &form = m_model.form();
    m_form = new QFormLayout;
    m_form->addRow(QStringLiteral("Name:"), field(page, QStringLiteral("Name"), &form.name));

    auto *emailRow = new QHBoxLayout;
    m_email = field(page, QStringLiteral("Email"), &form.email);
    m_sendCode = new QPushButton(page);
    connect(m_sendCode, &QPushButton::clicked, &m_model, &ShareExperience::requestCode);
    emailRow->addWidget(m_email, 1);
    emailRow->addWidget(m_sendCode);
    m_form->addRow(QStringLiteral("Email:"), emailRow);

    auto *codeRow = new QHBoxLayout;
    m_code = field(page, QStringLiteral("Verification code"), &form.code,
                   QStringLiteral("Paste the 16-character code from your inbox"));
    m_verify = new QPushButton(QStringLiteral("Verify"), page);
    name(m_verify, QStringLiteral("Verify"));
    connect(m_verify, &QPushButton::clicked, &m_model, &ShareExperience::verify);
    m_verified = new QLabel(QStringLiteral("Verified"), page);
    setTone(m_verified, Tone::Good);
    codeRow->addWidget(m_code, 1);
    codeRow->addWidget(m_verify);
    codeRow->addWidget(m_verified);
    m_form->addRow(QStringLiteral("Code:"), codeRow);
    m_status = new QLabel(page);
    m_status->setWordWrap(true);
    name(m_status, QStringLiteral("Verification status"));
    m_form->addRow(QString(), m_status);

    m_category = choices(QStringLiteral("Category"), ShareExperience::categories(), &form.category);
    m_form->addRow(QStringLiteral("Category:"), m_category);
    m_severity = choices(QStringLiteral("Severity"), ShareExperience::severities(), &form.severity);
    m_form->addRow(QStringLiteral("Severity:"), m_severity);
    m_frequency =
        choices(QStringLiteral("Frequency"), ShareExperience::frequencies(), &form.frequency);
    m_form->addRow(QStringLiteral("How often:"), m_frequency);
    m_form->addRow(
        QStringLiteral("Affected feature:"),
        choices(QStringLiteral("Affected feature"), ShareExperience::features(), &form.feature));
    m_form->addRow(QStringLiteral("Mobile (optional):"),
                   field(page, QStringLiteral("Mobile"), &form.mobile));
    layout->addLayout(m_form);

    m_message = new QTextEdit(page);
    m_message->setAcceptRichText(true);
    m_message->setPlaceholderText(
        QStringLiteral("What happened, what you expected, and anything else we should know."));
    name(m_message, QStringLiteral("Message"));
    layout->addWidget(m_message, 1);

    auto *footer = new QHBoxLayout;
    m_footer = new QLabel(page);
    m_footer->setWordWrap(true);
    name(m_footer, QStringLiteral("Sending status"));
    footer->addWidget(m_footer, 1);
    m_submit = new QPushButton(QStringLiteral("Send feedback"), page);
    name(m_submit, QStringLiteral("Send feedback"));
    connect(m_submit, &QPushButton::clicked, this, [this] {
        m_model.submit(htmlFragment(m_message->toHtml()), m_message->toPlainText());
    });
    footer->addWidget(m_submit);
    layout->addLayout(footer);
    return page;
}

QWidget *ShareExperienceWindow::donePage() {
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(heading(QStringLiteral("Thank you — we received your message."), page));
    auto *note = new QLabel(QStringLiteral("Your reference ID is below. Reply to your "
                                           "verification email if you'd like to add anything; "
                                           "the team will see it on the same record."),
                            page);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto *row = new QHBoxLayout;
    m_reference = new QLineEdit(page);
    m_reference->setReadOnly(true);
    name(m_reference, QStringLiteral("Reference ID"));
    auto *copy = new QPushButton(QStringLiteral("Copy"), page);
    name(copy, QStringLiteral("Copy"), QStringLiteral("Copy the reference ID"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(m_reference->text()); });
    row->addWidget(m_reference, 1);
    row->addWidget(copy);
    layout->addLayout(row);
    layout->addStretch(1);
    auto *closing = new QHBoxLayout;
    closing->addStretch(1);
    auto *close = new QPushButton(QStringLiteral("Close"), page);
    name(close, QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    closing->addWidget(close);
    layout->addLayout(closing);
    return page;
}

void ShareExperienceWindow::refresh() {
    if (const std::optional<QString> &id = m_model.referenceId()) {
        m_reference->setText(*id);
        m_pages->setCurrentIndex(1);
        return;
    }
    using Call = ShareExperience::Call;
    const bool configured = m_model.configured();
    const bool idle = m_model.running() == Call::None;
    m_sendCode->setText(m_model.codeRequested() ? QStringLiteral("Resend code")
                                                : QStringLiteral("Send verification code"));
    name(m_sendCode, m_sendCode->text());
    m_sendCode->setEnabled(configured && idle);
    m_verify->setEnabled(configured && idle && m_model.codeRequested());
    m_verify->setVisible(!m_model.verified());
    m_verified->setVisible(m_model.verified());
    m_submit->setEnabled(configured && idle && m_model.verified());

    const bool bug = m_model.form().category == QLatin1String("bug");
    m_form->setRowVisible(m_severity, bug);
    m_form->setRowVisible(m_frequency, bug);

    m_status->setText(configured ? m_model.status() : FeedbackClient::noAddressMessage());
    setTone(m_status, !configured || m_model.statusIsError() ? Tone::Bad : Tone::Neutral);
    m_status->setVisible(!m_status->text().isEmpty());
    m_footer->setText(m_model.footerError());
    setTone(m_footer, Tone::Bad);
}

void ShareExperienceWindow::closeEvent(QCloseEvent *event) {
    m_model.abort();
    QWidget::closeEvent(event);
}

QString ShareExperienceWindow::htmlFragment(const QString &document) {
    const qsizetype bodyTag = document.indexOf(QLatin1String("<body"));
    const qsizetype start = bodyTag < 0 ? -1 : document.indexOf(QLatin1Char('>'), bodyTag);
    const qsizetype end = document.lastIndexOf(QLatin1String("</body>"));
    if (start < 0 || end < start)
        return document.trimmed();
    return document.mid(start + 1, end - start - 1).trimmed();
}

} // namespace quindle::ui
