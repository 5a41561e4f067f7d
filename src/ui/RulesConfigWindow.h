#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quindle {
class ConfigFileModel;
class StatusModel;
} // namespace quindle

namespace quindle::ui {

class DialogKeys;

// The service's configuration file, read-only, and a dry run of the rules it holds.
class RulesConfigWindow : public QWidget {
    Q_OBJECT
public:
    RulesConfigWindow(ConfigFileModel &config, StatusModel &model, QWidget *parent = nullptr);

    // "(config not found at <path>)".
    static QString notFoundText(const QString &path);

Q_SIGNALS:
    // The file was read again and the view shows it.
    void reloaded();

private:
    void showFile();
    void openInEditor();
    void runPreview();
    void rebuild();

    ConfigFileModel &m_file;
    StatusModel &m_model;
    QString m_previewNote; // about the last preview's outcome
    bool m_previewFailed = false;
    QPlainTextEdit *m_config = nullptr;
    QLabel *m_configNote = nullptr;
    QPushButton *m_reload = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_run = nullptr;
    QLabel *m_previewStatus = nullptr;
    QPlainTextEdit *m_preview = nullptr;
    DialogKeys *m_keys = nullptr;
};

} // namespace quindle::ui
