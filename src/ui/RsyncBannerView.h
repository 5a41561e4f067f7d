#pragma once

#include <QFrame>

class QLabel;
class QPushButton;
class QToolButton;

namespace quindle {
class RsyncBanner;
}

namespace quindle::ui {

// The red banner shown while no GNU rsync was found: copy the install command, probe again, or
// dismiss it for good. It hides itself whenever the model says so.
class RsyncBannerView : public QFrame {
    Q_OBJECT
public:
    explicit RsyncBannerView(RsyncBanner &banner, QWidget *parent = nullptr);

Q_SIGNALS:
    // The install command is on the clipboard; the window shows the model's toast.
    void copied();

private:
    void present();

    RsyncBanner &m_banner;
    QPushButton *m_copy = nullptr;
    QPushButton *m_reload = nullptr;
    QToolButton *m_dismiss = nullptr;
};

} // namespace quindle::ui
