#pragma once

#include "transfers/AccountForm.h"
#include "transfers/RcloneAuth.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace quindle {
class RemoteManager;
}

namespace quindle::ui {

// The Add Account sheet: a kind of account, then its form (credentials for S3, SFTP and FTP; a
// browser sign-in for Google). Saving refreshes the manager's list and closes the sheet.
class AddAccountDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddAccountDialog(RemoteManager &remotes, QWidget *parent = nullptr);

    // Shows the form of `type` (as choosing its row does); false when it cannot be chosen.
    bool chooseType(const QString &type);
    AccountForm form() const;
    RcloneAuth &auth() { return m_auth; }
    // Runs the form's action: saves the credentials, or starts the sign-in.
    void submit();
    // Replaces the key file picker (tests give a path).
    void setKeyFileChooser(std::function<QString()> chooser) {
        m_chooseKeyFile = std::move(chooser);
    }

private:
    enum Page { TypePage, FormPage, SignInPage };
    enum Fields { GoogleFields, S3Fields, SftpFields, FtpFields };

    QWidget *typePage();
    QWidget *formPage();
    QWidget *signInPage();
    QWidget *googleFields();
    QWidget *s3Fields();
    QWidget *serverFields(bool ftp);
    QLabel *strengthLabel(QLineEdit *secret, QWidget *parent);
    void refreshTypes();
    void refreshForm();
    void refreshSignIn();
    void showFailure(const QString &message);

    RemoteManager &m_remotes;
    RcloneAuth m_auth;
    QString m_type;
    bool m_saving = false;
    std::function<QString()> m_chooseKeyFile;

    QStackedWidget *m_pages = nullptr;
    QListWidget *m_types = nullptr;
    QLabel *m_formTitle = nullptr;
    QStackedWidget *m_fields = nullptr;
    QLabel *m_problem = nullptr;
    QLabel *m_failureTitle = nullptr;
    QLabel *m_failure = nullptr;
    QPushButton *m_save = nullptr;

    QLineEdit *m_nickname[4] = {};
    QLineEdit *m_clientId = nullptr;
    QLineEdit *m_clientSecret = nullptr;
    QComboBox *m_provider = nullptr;
    QLineEdit *m_accessKey = nullptr;
    QLineEdit *m_secretKey = nullptr;
    QLineEdit *m_region = nullptr;
    QLineEdit *m_endpoint = nullptr;
    QCheckBox *m_pathStyle = nullptr;
    QLineEdit *m_host[2] = {};
    QLineEdit *m_port[2] = {};
    QLineEdit *m_user[2] = {};
    QLineEdit *m_password[2] = {};
    QComboBox *m_authMethod = nullptr;
    QWidget *m_passwordRow = nullptr;
    QWidget *m_keyRows = nullptr;
    QLineEdit *m_keyFile = nullptr;
    QLineEdit *m_passphrase = nullptr;
    QCheckBox *m_consent = nullptr;

    QLabel *m_signInTitle = nullptr;
    QLabel *m_signInDetail = nullptr;
    QLabel *m_signInUrl = nullptr;
    QPushButton *m_reopen = nullptr;
    QPushButton *m_cancelSignIn = nullptr;
    QPushButton *m_tryAgain = nullptr;
    QPushButton *m_done = nullptr;
};

} // namespace quindle::ui
