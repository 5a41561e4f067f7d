#include "core/RecentNotices.h"

namespace quindle {

void RecentNotices::add(const RecentNotice &notice) {
    m_notices.prepend(notice);
    if (m_notices.size() > capacity)
        m_notices.resize(capacity);
    m_desktopShows = notice.route == NoticeRoute::Desktop;
    Q_EMIT changed();
}

} // namespace quindle
