#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <optional>

class QCheckBox;
class QComboBox;
class QPlainTextEdit;

namespace quindle::ui {

// The service's log, read again every two seconds while the window is shown.
class LogWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds refreshInterval{2000};
    static constexpr int defaultLines = 500;
    static QList<int> lineChoices(); // 100, 500, 2000

    explicit LogWindow(QWidget *parent = nullptr);

    // What the view shows for the log at `path`: its last `lines` lines (split at line feeds,
    // empty lines kept), "(log empty)", or "(log not found at …)" when it could not be read.
    static QString excerpt(const std::optional<QByteArray> &content, const QString &path,
                           int lines);

Q_SIGNALS:
    // A read finished and the view shows it.
    void refreshed();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void reload();
    void present();
    void scrollToEnd();

    QTimer m_timer;
    QComboBox *m_lines = nullptr;
    QCheckBox *m_autoScroll = nullptr;
    QPlainTextEdit *m_view = nullptr;
    bool m_reading = false;
    QString m_path;                      // of the last read
    std::optional<QByteArray> m_content; // the last read, so a new line count shows at once
};

} // namespace quindle::ui
