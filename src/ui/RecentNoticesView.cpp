#include "ui/RecentNoticesView.h"

#include "core/RecentNotices.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace quindle::ui {

RecentNoticesView::RecentNoticesView(RecentNotices &notices, QWidget *parent)
    : QFrame(parent)
    , m_notices(notices) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *title = new QLabel(QStringLiteral("Recent notifications"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    auto *reason = new QLabel(
        QStringLiteral("The desktop has no notification service, so Quindle lists them here."),
        this);
    reason->setWordWrap(true);
    setTone(reason, Tone::Neutral);
    layout->addWidget(reason);
    m_list = new QListWidget(this);
    m_list->setWordWrap(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    name(m_list, QStringLiteral("Recent notifications"));
    layout->addWidget(m_list);
    connect(&m_notices, &RecentNotices::changed, this, &RecentNoticesView::present);
    present();
}

void RecentNoticesView::present() {
    m_list->clear();
    for (const RecentNotice &notice : m_notices.notices()) {
        const QString time = notice.shownAt.toLocalTime().toString(QStringLiteral("HH:mm"));
        auto *item = new QListWidgetItem(
            QStringLiteral("%1  %2\n%3").arg(time, notice.payload.title, notice.payload.body),
            m_list);
        item->setToolTip(notice.payload.body);
    }
    setVisible(!m_notices.desktopShowsNotices() && !m_notices.notices().isEmpty());
}

} // namespace quindle::ui
