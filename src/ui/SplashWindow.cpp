#include "ui/SplashWindow.h"

#include "core/BuildSettings.h"
#include "platform/DesktopOpen.h"
#include "ui/Theme.h"
#include "ui/TrayIconArt.h"
#include "updates/LaunchSplash.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <QtDebug>

namespace quindle::ui {

namespace {

QString rectText(const QRect &r) {
    return QStringLiteral("(%1, %2, %3, %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

SplashWindow::SplashWindow(LaunchSplash &splash, QUrl supportUrl, QWidget *parent)
    : QWidget(parent, Qt::Dialog)
    , m_splash(splash)
    , m_supportUrl(std::move(supportUrl)) {
    setWindowTitle(QStringLiteral("Quindle"));
    setWindowIcon(applicationIcon());
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto *layout = new QVBoxLayout(this);
    // As big as what it says: the offline text is longer than the first one.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(28, 24, 28, 18);
    layout->setSpacing(10);
    auto *mark = new QLabel(this);
    mark->setPixmap(applicationIcon().pixmap(64, 64));
    mark->setAlignment(Qt::AlignHCenter);
    layout->addWidget(mark);
    auto *name = heading(QStringLiteral("Quindle"), this);
    name->setAlignment(Qt::AlignHCenter);
    layout->addWidget(name);
    auto *version = caption(QStringLiteral("Version ") + build::version(), this);
    version->setAlignment(Qt::AlignHCenter);
    layout->addWidget(version);

    m_title = new QLabel(this);
    m_title->setAlignment(Qt::AlignHCenter);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    layout->addWidget(m_title);
    m_detail = new QLabel(this);
    m_detail->setWordWrap(true);
    m_detail->setAlignment(Qt::AlignHCenter);
    m_detail->setMinimumWidth(textWidth(this, 44));
    layout->addWidget(m_detail);
    m_busy = new QProgressBar(this);
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    ui::name(m_busy, QStringLiteral("Fetching the latest updates"));
    layout->addWidget(m_busy);

    m_help = new QLabel(this);
    m_help->setAlignment(Qt::AlignHCenter);
    m_help->setTextFormat(Qt::RichText);
    m_help->setText(QStringLiteral("<a href=\"help\">Need a hand?</a>"));
    ui::name(m_help, QStringLiteral("Need a hand?"));
    connect(m_help, &QLabel::linkActivated, this, [this] {
        if (const std::optional<QString> error = platform::openUrl(m_supportUrl))
            qWarning().noquote() << "Splash: couldn't open the support page:" << *error;
    });
    layout->addWidget(m_help);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(cancel, &QPushButton::clicked, &m_splash, &LaunchSplash::cancel);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(&m_splash, &LaunchSplash::statusChanged, this, &SplashWindow::showStatus);
    // Going away on dismissal is not a close by the person: it quits nothing.
    connect(&m_splash, &LaunchSplash::dismissed, this, &QWidget::hide);
    showStatus();
}

void SplashWindow::present() {
    qInfo().noquote() << "Splash: present() entered";
    adjustSize();
    centre();
    show();
    raise();
    activateWindow();
    qInfo().noquote() << "Splash: window ordered front; starting background work";
    m_splash.start();
}

void SplashWindow::centre() {
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        qInfo().noquote()
            << "Splash: no screen resolved; fell back to the window manager's placement";
        return;
    }
    const QRect visible = screen->availableGeometry();
    const QSize outer = frameSize().isValid() ? frameSize() : size();
    const QPoint origin(visible.x() + (visible.width() - outer.width()) / 2,
                        visible.y() + (visible.height() - outer.height()) / 2);
    move(origin);
    qInfo().noquote() << QStringLiteral("Splash: centred on %1 visibleFrame=%2 outerSize=%3x%4 "
                                        "origin=(%5, %6)")
                             .arg(screen->name(), rectText(visible))
                             .arg(outer.width())
                             .arg(outer.height())
                             .arg(origin.x())
                             .arg(origin.y());
}

void SplashWindow::showStatus() {
    switch (m_splash.status()) {
    case LaunchSplash::Status::Connecting:
        m_title->setText(QStringLiteral("Fetching the latest updates…"));
        m_detail->setText(QStringLiteral("Contacting %1…").arg(m_splash.host()));
        break;
    case LaunchSplash::Status::Success:
        m_title->setText(QStringLiteral("You're all set"));
        m_detail->setText(QStringLiteral("Opening Quindle…"));
        break;
    case LaunchSplash::Status::Offline:
        m_title->setText(QStringLiteral("Working offline"));
        m_detail->setText(QStringLiteral("We couldn't reach our servers right now — no problem, "
                                         "Quindle is ready to go."));
        break;
    }
    m_busy->setVisible(m_splash.status() == LaunchSplash::Status::Connecting);
    m_help->setVisible(m_splash.status() == LaunchSplash::Status::Offline &&
                       m_supportUrl.isValid() && !m_supportUrl.isEmpty());
}

void SplashWindow::closeEvent(QCloseEvent *event) {
    m_splash.windowClosed();
    QWidget::closeEvent(event);
}

} // namespace quindle::ui
