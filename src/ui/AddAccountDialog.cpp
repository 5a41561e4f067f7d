#include "ui/AddAccountDialog.h"

#include "core/WhenFinished.h"
#include "platform/HomeDirectory.h"
#include "transfers/CredentialSaver.h"
#include "transfers/PasswordEvaluator.h"
#include "transfers/RemoteCaps.h"
#include "transfers/RemoteManager.h"
#include "transfers/S3Provider.h"
#include "ui/RemoteIcon.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quindle::ui {

namespace {

QLineEdit *lineEdit(QWidget *parent, const QString &accessibleName,
                    const QString &placeholder = {}) {
    auto *edit = new QLineEdit(parent);
    edit->setPlaceholderText(placeholder);
    name(edit, accessibleName);
    return edit;
}

QLineEdit *secretEdit(QWidget *parent, const QString &accessibleName) {
    QLineEdit *edit = lineEdit(parent, accessibleName, QStringLiteral("at least 12 characters"));
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QFormLayout *formLayout(QWidget *parent) {
    auto *form = new QFormLayout(parent);
    form->setContentsMargins(0, 0, 0, 0);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return form;
}

QString nicknameHint() {
    return QStringLiteral("The nickname is used inside the app and in transfer paths. Give each "
                          "account its own.");
}

bool isOAuth(const QString &type) {
    return type == QLatin1String("drive") || type == QLatin1String("googlephotos");
}

} // namespace

AddAccountDialog::AddAccountDialog(RemoteManager &remotes, QWidget *parent)
    : QDialog(parent)
    , m_remotes(remotes)
    , m_chooseKeyFile([this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Choose a private key file"),
                                            platform::homePath() + QStringLiteral("/.ssh"));
    }) {
    setWindowTitle(QStringLiteral("Add Account"));
    auto *layout = new QVBoxLayout(this);
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(typePage());
    m_pages->addWidget(formPage());
    m_pages->addWidget(signInPage());
    layout->addWidget(m_pages, 1);
    setMinimumWidth(textWidth(this, 64));

    connect(&m_remotes, &RemoteManager::remotesChanged, this, [this] {
        refreshTypes();
        refreshForm();
    });
    connect(&m_auth, &RcloneAuth::stepChanged, this, &AddAccountDialog::refreshSignIn);
    refreshTypes();
}

QWidget *AddAccountDialog::typePage() {
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(heading(QStringLiteral("Add Account"), page));
    column->addWidget(caption(QStringLiteral("Choose the kind of account to connect."), page));
    m_types = new QListWidget(page);
    m_types->setIconSize(QSize(textHeight(this, 1) * 3 / 2, textHeight(this, 1) * 3 / 2));
    m_types->setWordWrap(true);
    name(m_types, QStringLiteral("Account kinds"));
    connect(m_types, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { chooseType(item->data(Qt::UserRole).toString()); });
    connect(m_types, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { chooseType(item->data(Qt::UserRole).toString()); });
    column->addWidget(m_types, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), page);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    column->addLayout(buttons);
    return page;
}

QWidget *AddAccountDialog::formPage() {
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    m_formTitle = heading(QString(), page);
    column->addWidget(m_formTitle);
    m_fields = new QStackedWidget(page);
    m_fields->addWidget(googleFields());
    m_fields->addWidget(s3Fields());
    m_fields->addWidget(serverFields(false));
    m_fields->addWidget(serverFields(true));
    column->addWidget(m_fields);
    column->addStretch(1);
    m_failureTitle = new QLabel(QStringLiteral("Could not add account"), page);
    setTone(m_failureTitle, Tone::Bad);
    m_failure = new QLabel(page);
    m_failure->setWordWrap(true);
    m_failure->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name(m_failure, QStringLiteral("Why the account was not added"));
    column->addWidget(m_failureTitle);
    column->addWidget(m_failure);
    m_problem = caption(QString(), page);
    name(m_problem, QStringLiteral("What the form still needs"));
    column->addWidget(m_problem);

    auto *buttons = new QHBoxLayout;
    auto *back = new QPushButton(QStringLiteral("Back"), page);
    connect(back, &QPushButton::clicked, this, [this] { m_pages->setCurrentIndex(TypePage); });
    buttons->addWidget(back);
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), page);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    m_save = new QPushButton(page);
    m_save->setDefault(true);
    dimWhenDisabled(m_save);
    connect(m_save, &QPushButton::clicked, this, &AddAccountDialog::submit);
    buttons->addWidget(m_save);
    column->addLayout(buttons);
    return page;
}

QWidget *AddAccountDialog::googleFields() {
    auto *box = new QWidget(this);
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    QFormLayout *form = formLayout(nullptr);
    m_nickname[GoogleFields] = lineEdit(box, QStringLiteral("Nickname"), QStringLiteral("gdrive"));
    form->addRow(QStringLiteral("Nickname"), m_nickname[GoogleFields]);
    column->addLayout(form);
    column->addWidget(caption(nicknameHint(), box));
    column->addWidget(caption(QStringLiteral("Signing in opens Google's sign-in page in your "
                                             "browser; rclone keeps the token it receives."),
                              box));

    auto *advancedToggle = new QToolButton(box);
    advancedToggle->setText(QStringLiteral("Advanced — custom OAuth credentials"));
    advancedToggle->setCheckable(true);
    advancedToggle->setAutoRaise(true);
    advancedToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    advancedToggle->setArrowType(Qt::RightArrow);
    column->addWidget(advancedToggle);
    auto *advanced = new QWidget(box);
    auto *advancedColumn = new QVBoxLayout(advanced);
    advancedColumn->setContentsMargins(0, 0, 0, 0);
    advancedColumn->addWidget(caption(
        QStringLiteral("If Google shows “This app is blocked” after you sign in, your account "
                       "needs custom OAuth credentials: create a client in the Google Cloud "
                       "console and paste its Client ID and Client Secret here."),
        advanced));
    QFormLayout *credentials = formLayout(nullptr);
    m_clientId = lineEdit(advanced, QStringLiteral("Client ID"));
    m_clientSecret = lineEdit(advanced, QStringLiteral("Client Secret"));
    m_clientSecret->setEchoMode(QLineEdit::Password);
    credentials->addRow(QStringLiteral("Client ID"), m_clientId);
    credentials->addRow(QStringLiteral("Client Secret"), m_clientSecret);
    advancedColumn->addLayout(credentials);
    advanced->setVisible(false);
    connect(advancedToggle, &QToolButton::toggled, this, [advanced, advancedToggle](bool open) {
        advanced->setVisible(open);
        advancedToggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    });
    column->addWidget(advanced);
    connect(m_nickname[GoogleFields], &QLineEdit::textChanged, this,
            &AddAccountDialog::refreshForm);
    return box;
}

QLabel *AddAccountDialog::strengthLabel(QLineEdit *secret, QWidget *parent) {
    QLabel *strength = caption(QString(), parent);
    name(strength, QStringLiteral("Password strength"));
    connect(secret, &QLineEdit::textChanged, strength, [strength](const QString &text) {
        if (text.isEmpty()) {
            strength->clear();
            return;
        }
        const int score = PasswordEvaluator::score(text.trimmed());
        const QString hint = PasswordEvaluator::hint(score);
        strength->setText(PasswordEvaluator::label(score) + QStringLiteral(". ") + hint);
        setTone(strength, score >= PasswordEvaluator::acceptedScore ? Tone::Good : Tone::Warning);
    });
    return strength;
}

QWidget *AddAccountDialog::s3Fields() {
    auto *box = new QWidget(this);
    QFormLayout *form = formLayout(box);
    m_nickname[S3Fields] = lineEdit(box, QStringLiteral("Nickname"), QStringLiteral("backups"));
    form->addRow(QStringLiteral("Nickname"), m_nickname[S3Fields]);
    m_provider = new QComboBox(box);
    for (const S3Provider &provider : S3Provider::all())
        m_provider->addItem(provider.displayName);
    name(m_provider, QStringLiteral("Provider"));
    form->addRow(QStringLiteral("Provider"), m_provider);
    m_accessKey = lineEdit(box, QStringLiteral("Access key ID"));
    form->addRow(QStringLiteral("Access key ID"), m_accessKey);
    m_secretKey = secretEdit(box, QStringLiteral("Secret access key"));
    form->addRow(QStringLiteral("Secret access key"), m_secretKey);
    form->addRow(QString(), strengthLabel(m_secretKey, box));
    m_region = lineEdit(box, QStringLiteral("Region"));
    form->addRow(QStringLiteral("Region"), m_region);
    m_endpoint = lineEdit(box, QStringLiteral("Endpoint"));
    form->addRow(QStringLiteral("Endpoint"), m_endpoint);
    m_pathStyle = new QCheckBox(QStringLiteral("Use path-style URLs"), box);
    form->addRow(QString(), m_pathStyle);
    const auto providerChosen = [this](int index) {
        AccountForm defaults = AccountForm::forType(QStringLiteral("s3"));
        defaults.chooseProvider(index);
        m_region->setText(defaults.region);
        m_pathStyle->setChecked(defaults.pathStyle);
        m_endpoint->setPlaceholderText(S3Provider::all().at(index).endpointPlaceholder);
        refreshForm();
    };
    connect(m_provider, &QComboBox::currentIndexChanged, this, providerChosen);
    providerChosen(0);
    for (QLineEdit *edit : {m_nickname[S3Fields], m_accessKey, m_secretKey, m_region, m_endpoint})
        connect(edit, &QLineEdit::textChanged, this, &AddAccountDialog::refreshForm);
    return box;
}

QWidget *AddAccountDialog::serverFields(bool ftp) {
    const int at = ftp ? 1 : 0;
    auto *box = new QWidget(this);
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    if (ftp) {
        QFrame *warning = card(box);
        auto *warningColumn = new QVBoxLayout(warning);
        QLabel *title = new QLabel(AccountForm::ftpWarningTitle(), warning);
        setTone(title, Tone::Warning);
        warningColumn->addWidget(title);
        warningColumn->addWidget(caption(AccountForm::ftpWarningText(), warning));
        column->addWidget(warning);
    }
    QFormLayout *form = formLayout(nullptr);
    const int fields = ftp ? FtpFields : SftpFields;
    m_nickname[fields] = lineEdit(box, QStringLiteral("Nickname"), QStringLiteral("home-server"));
    form->addRow(QStringLiteral("Nickname"), m_nickname[fields]);
    m_host[at] = lineEdit(box, QStringLiteral("Host"), QStringLiteral("server.example.com"));
    form->addRow(QStringLiteral("Host"), m_host[at]);
    m_port[at] =
        lineEdit(box, QStringLiteral("Port"), ftp ? QStringLiteral("21") : QStringLiteral("22"));
    m_port[at]->setMaximumWidth(textWidth(this, 8));
    form->addRow(QStringLiteral("Port"), m_port[at]);
    m_user[at] = lineEdit(box, QStringLiteral("User"));
    form->addRow(QStringLiteral("User"), m_user[at]);
    if (!ftp) {
        m_authMethod = new QComboBox(box);
        m_authMethod->addItems({QStringLiteral("Password"), QStringLiteral("Private key")});
        name(m_authMethod, QStringLiteral("Sign in with"));
        form->addRow(QStringLiteral("Sign in with"), m_authMethod);
    }
    column->addLayout(form);

    m_password[at] = secretEdit(box, QStringLiteral("Password"));
    auto *passwordRow = new QWidget(box);
    QFormLayout *passwordForm = formLayout(passwordRow);
    passwordForm->addRow(QStringLiteral("Password"), m_password[at]);
    passwordForm->addRow(QString(), strengthLabel(m_password[at], passwordRow));
    column->addWidget(passwordRow);
    if (ftp) {
        m_consent = new QCheckBox(AccountForm::ftpConsentText(), box);
        column->addWidget(m_consent);
        connect(m_consent, &QCheckBox::toggled, this, &AddAccountDialog::refreshForm);
    } else {
        m_passwordRow = passwordRow;
        m_keyRows = new QWidget(box);
        QFormLayout *keyForm = formLayout(m_keyRows);
        auto *keyRow = new QHBoxLayout;
        m_keyFile = lineEdit(m_keyRows, QStringLiteral("Private key file"),
                             QStringLiteral("~/.ssh/id_ed25519"));
        auto *choose = new QPushButton(QStringLiteral("Choose…"), m_keyRows);
        name(choose, QStringLiteral("Choose a private key file"));
        connect(choose, &QPushButton::clicked, this, [this] {
            if (const QString path = m_chooseKeyFile(); !path.isEmpty())
                m_keyFile->setText(path);
        });
        keyRow->addWidget(m_keyFile, 1);
        keyRow->addWidget(choose);
        keyForm->addRow(QStringLiteral("Key file"), keyRow);
        m_passphrase = lineEdit(m_keyRows, QStringLiteral("Passphrase"),
                                QStringLiteral("only if the key has one"));
        m_passphrase->setEchoMode(QLineEdit::Password);
        keyForm->addRow(QStringLiteral("Passphrase"), m_passphrase);
        m_keyRows->setVisible(false);
        column->addWidget(m_keyRows);
        connect(m_authMethod, &QComboBox::currentIndexChanged, this, [this](int index) {
            m_passwordRow->setVisible(index == 0);
            m_keyRows->setVisible(index == 1);
            refreshForm();
        });
        connect(m_keyFile, &QLineEdit::textChanged, this, &AddAccountDialog::refreshForm);
    }
    for (QLineEdit *edit : {m_nickname[fields], m_host[at], m_port[at], m_user[at], m_password[at]})
        connect(edit, &QLineEdit::textChanged, this, &AddAccountDialog::refreshForm);
    return box;
}

QWidget *AddAccountDialog::signInPage() {
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    m_signInTitle = heading(QString(), page);
    column->addWidget(m_signInTitle);
    m_signInDetail = new QLabel(page);
    m_signInDetail->setWordWrap(true);
    m_signInDetail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name(m_signInDetail, QStringLiteral("Sign-in status"));
    column->addWidget(m_signInDetail);
    m_signInUrl = caption(QString(), page);
    m_signInUrl->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name(m_signInUrl, QStringLiteral("Sign-in address"));
    column->addWidget(m_signInUrl);
    column->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_reopen = new QPushButton(QStringLiteral("Reopen URL"), page);
    connect(m_reopen, &QPushButton::clicked, &m_auth, &RcloneAuth::reopenUrl);
    m_cancelSignIn = new QPushButton(QStringLiteral("Cancel"), page);
    connect(m_cancelSignIn, &QPushButton::clicked, &m_auth, &RcloneAuth::cancel);
    m_tryAgain = new QPushButton(QStringLiteral("Try Again"), page);
    connect(m_tryAgain, &QPushButton::clicked, this, [this] {
        m_auth.reset();
        m_pages->setCurrentIndex(FormPage);
    });
    m_done = new QPushButton(QStringLiteral("Done"), page);
    connect(m_done, &QPushButton::clicked, this, &QDialog::accept);
    for (QPushButton *button : {m_reopen, m_cancelSignIn, m_tryAgain, m_done})
        buttons->addWidget(button);
    column->addLayout(buttons);
    return page;
}

void AddAccountDialog::refreshTypes() {
    m_types->clear();
    const QList<Remote> &remotes = m_remotes.remotes();
    for (const RemoteType &kind : m_remotes.availableTypes()) {
        const bool full = RemoteCaps::limitReached(remotes, kind.id);
        QString text = kind.name;
        if (const QString badge = RemoteCaps::usageBadge(remotes, kind.id); !badge.isEmpty())
            text += QStringLiteral("  ·  ") + badge;
        text += QLatin1Char('\n') + (full         ? RemoteCaps::limitReachedText(kind.id)
                                     : kind.oauth ? QStringLiteral("Sign in with your browser.")
                                                  : QStringLiteral("Sign in with credentials."));
        auto *item = new QListWidgetItem(remoteIcon(this, kind.id), text, m_types);
        item->setData(Qt::UserRole, kind.id);
        if (full)
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
    }
}

bool AddAccountDialog::chooseType(const QString &type) {
    const QList<RemoteType> &kinds = m_remotes.availableTypes();
    const auto kind = std::find_if(kinds.cbegin(), kinds.cend(),
                                   [&](const RemoteType &known) { return known.id == type; });
    if (kind == kinds.cend() || RemoteCaps::limitReached(m_remotes.remotes(), type))
        return false;
    m_type = type;
    m_formTitle->setText(kind->name);
    m_fields->setCurrentIndex(isOAuth(type)                  ? GoogleFields
                              : type == QLatin1String("s3")  ? S3Fields
                              : type == QLatin1String("ftp") ? FtpFields
                                                             : SftpFields);
    m_save->setText(isOAuth(type) ? QStringLiteral("Sign in with Google")
                                  : QStringLiteral("Save account"));
    showFailure({});
    refreshForm();
    m_pages->setCurrentIndex(FormPage);
    return true;
}

AccountForm AddAccountDialog::form() const {
    AccountForm form = AccountForm::forType(m_type);
    const int fields = m_fields->currentIndex();
    form.nickname = m_nickname[fields]->text();
    if (fields == S3Fields) {
        form.chooseProvider(m_provider->currentIndex());
        form.accessKeyId = m_accessKey->text();
        form.secretAccessKey = m_secretKey->text();
        form.region = m_region->text();
        form.endpoint = m_endpoint->text();
        form.pathStyle = m_pathStyle->isChecked();
    } else if (fields != GoogleFields) {
        const int at = fields == FtpFields ? 1 : 0;
        form.host = m_host[at]->text();
        form.port = m_port[at]->text();
        form.user = m_user[at]->text();
        form.password = m_password[at]->text();
        if (fields == SftpFields && m_authMethod->currentIndex() == 1) {
            form.authMethod = SftpAuthMethod::PrivateKey;
            form.password.clear();
            form.keyFile = m_keyFile->text();
            form.keyPassphrase = m_passphrase->text();
        }
        form.acceptPlaintext = fields == FtpFields && m_consent->isChecked();
    }
    return form;
}

void AddAccountDialog::refreshForm() {
    if (m_type.isEmpty())
        return;
    std::optional<QString> problem;
    if (isOAuth(m_type)) {
        problem = nicknameProblem(m_nickname[GoogleFields]->text(), m_remotes.remotes());
        if (!problem && RemoteCaps::limitReached(m_remotes.remotes(), m_type))
            problem = RemoteCaps::limitReachedText(m_type);
    } else {
        problem = form().problem(m_remotes.remotes());
    }
    m_problem->setText(problem.value_or(QString()));
    m_problem->setVisible(problem.has_value());
    m_save->setEnabled(!problem && !m_saving);
}

void AddAccountDialog::showFailure(const QString &message) {
    m_failure->setText(message);
    m_failureTitle->setVisible(!message.isEmpty());
    m_failure->setVisible(!message.isEmpty());
}

void AddAccountDialog::submit() {
    refreshForm();
    if (!m_save->isEnabled())
        return;
    showFailure({});
    if (isOAuth(m_type)) {
        m_pages->setCurrentIndex(SignInPage);
        m_auth.start(m_nickname[GoogleFields]->text().trimmed(), m_type, m_clientId->text(),
                     m_clientSecret->text());
        return;
    }
    m_saving = true;
    refreshForm();
    whenFinished(CredentialSaver::save(form().request()), this,
                 [this](const std::optional<QString> &failure) {
                     m_saving = false;
                     m_remotes.refresh();
                     if (!failure) {
                         accept();
                         return;
                     }
                     showFailure(*failure);
                     refreshForm();
                 });
}

void AddAccountDialog::refreshSignIn() {
    const RcloneAuth::Step step = m_auth.step();
    m_signInTitle->setText(m_auth.title());
    m_signInDetail->setText(m_auth.detail());
    setTone(m_signInDetail, step == RcloneAuth::Step::Failed ? Tone::Bad : Tone::Neutral);
    m_signInUrl->setText(step == RcloneAuth::Step::AwaitingBrowser ? m_auth.url().toString()
                                                                   : QString());
    const bool running =
        step == RcloneAuth::Step::Starting || step == RcloneAuth::Step::AwaitingBrowser;
    m_reopen->setVisible(step == RcloneAuth::Step::AwaitingBrowser);
    m_cancelSignIn->setVisible(running);
    m_tryAgain->setVisible(step == RcloneAuth::Step::Failed || step == RcloneAuth::Step::Canceled);
    m_done->setVisible(step == RcloneAuth::Step::Done);
    if (step == RcloneAuth::Step::Done)
        m_remotes.refresh();
}

} // namespace quindle::ui
