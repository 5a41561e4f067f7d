#pragma once

#include <QUrl>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace quindle {
class LaunchSplash;
}

namespace quindle::ui {

// The small window shown at launch while the splash looks for a recent update manifest. It goes
// when the splash is dismissed; Cancel or closing it before then quits Quindle.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    SplashWindow(LaunchSplash &splash, QUrl supportUrl, QWidget *parent = nullptr);

    // Centres the window on its screen, shows it and starts the splash.
    void present();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showStatus();
    void centre();

    LaunchSplash &m_splash;
    QUrl m_supportUrl;
    QLabel *m_title = nullptr;
    QLabel *m_detail = nullptr;
    QProgressBar *m_busy = nullptr;
    QLabel *m_help = nullptr;
};

} // namespace quindle::ui
