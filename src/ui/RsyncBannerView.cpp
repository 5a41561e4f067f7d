#include "ui/RsyncBannerView.h"

#include "tier/RsyncBanner.h"
#include "ui/Theme.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace quindle::ui {

RsyncBannerView::RsyncBannerView(RsyncBanner &banner, QWidget *parent)
    : QFrame(parent)
    , m_banner(banner) {
    setObjectName(QStringLiteral("rsyncBanner"));
    QColor wash = statusColor(Tone::Bad);
    wash.setAlphaF(0.12f);
    setStyleSheet(QStringLiteral("QFrame#rsyncBanner { background: %1; border: 1px solid %2; "
                                 "border-radius: 6px; }")
                      .arg(wash.name(QColor::HexArgb), statusColor(Tone::Bad).name()));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 8, 8);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto *title = new QLabel(RsyncBanner::title(), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    setTone(title, Tone::Bad);
    texts->addWidget(title);
    auto *detail = new QLabel(RsyncBanner::detail(), this);
    detail->setWordWrap(true);
    texts->addWidget(detail);
    layout->addLayout(texts, 1);

    const QString command = RsyncBanner::installCommand();
    m_copy = new QPushButton(QStringLiteral("Copy install command"), this);
    name(m_copy, QStringLiteral("Copy install command"),
         command.isEmpty() ? QStringLiteral("No install command is known for this system.")
                           : command);
    m_copy->setEnabled(!command.isEmpty());
    dimWhenDisabled(m_copy);
    m_reload = new QPushButton(QStringLiteral("Reload Probe"), this);
    name(m_reload, QStringLiteral("Reload Probe"), QStringLiteral("Look for GNU rsync again"));
    dimWhenDisabled(m_reload);
    m_dismiss = new QToolButton(this);
    m_dismiss->setText(QStringLiteral("×"));
    m_dismiss->setAutoRaise(true);
    m_dismiss->setFocusPolicy(Qt::StrongFocus);
    name(m_dismiss, QStringLiteral("Dismiss the rsync banner"),
         QStringLiteral("Hide this banner; it stays hidden"));
    layout->addWidget(m_copy, 0, Qt::AlignVCenter);
    layout->addWidget(m_reload, 0, Qt::AlignVCenter);
    layout->addWidget(m_dismiss, 0, Qt::AlignTop);

    connect(m_copy, &QPushButton::clicked, this, [this] {
        QGuiApplication::clipboard()->setText(RsyncBanner::installCommand());
        Q_EMIT copied();
    });
    connect(m_reload, &QPushButton::clicked, &m_banner, &RsyncBanner::reloadProbe);
    connect(m_dismiss, &QToolButton::clicked, &m_banner, &RsyncBanner::dismiss);
    connect(&m_banner, &RsyncBanner::changed, this, &RsyncBannerView::present);
    present();
}

void RsyncBannerView::present() {
    setVisible(m_banner.isVisible());
    m_reload->setEnabled(!m_banner.isReloading());
    m_reload->setText(m_banner.isReloading() ? QStringLiteral("Probing…")
                                             : QStringLiteral("Reload Probe"));
}

} // namespace quindle::ui
