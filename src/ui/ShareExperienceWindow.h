#pragma once

#include "updates/ShareExperience.h"

#include <QWidget>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTextEdit;

namespace quindle::ui {

// "Share Your Experience": the sender's address proven with a mailed code, then the report;
// once sent, its reference ID. Closing it drops a call under way; the typed report survives a
// failure.
class ShareExperienceWindow : public QWidget {
    Q_OBJECT
public:
    explicit ShareExperienceWindow(ShareExperience &model, QWidget *parent = nullptr);

    // The editor's HTML without the document head Qt writes around it.
    static QString htmlFragment(const QString &document);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *formPage();
    QWidget *donePage();
    QComboBox *choices(const QString &accessibleName, const QList<ShareExperience::Choice> &list,
                       QString *field);
    void refresh();

    ShareExperience &m_model;
    QStackedWidget *m_pages = nullptr;
    QFormLayout *m_form = nullptr;
    QLineEdit *m_email = nullptr;
    QPushButton *m_sendCode = nullptr;
    QLineEdit *m_code = nullptr;
    QPushButton *m_verify = nullptr;
    QLabel *m_verified = nullptr;
    QLabel *m_status = nullptr;
    QComboBox *m_category = nullptr;
    QComboBox *m_severity = nullptr;
    QComboBox *m_frequency = nullptr;
    QTextEdit *m_message = nullptr;
    QLabel *m_footer = nullptr;
    QPushButton *m_submit = nullptr;
    QLineEdit *m_reference = nullptr;
};

} // namespace quindle::ui
