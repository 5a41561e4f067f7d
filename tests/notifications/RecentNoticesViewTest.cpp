// The popover's list of recent notices: there only while the desktop cannot show them.
#include "ui/RecentNoticesView.h"
#include "core/RecentNotices.h"

#include <QListWidget>
#include <QWidget>

#include <gtest/gtest.h>

using namespace quindle;

namespace {

RecentNotice notice(const QString &title, NoticeRoute route) {
    return {{title, QStringLiteral("Body of %1.").arg(title), {}},
            QDateTime::currentDateTimeUtc(),
            route};
}

} // namespace

TEST(RecentNoticesView, ListsTheLastNoticesOnlyWhileTheDesktopCannot) {
    RecentNotices notices;
    QWidget popover;
    auto &view = *new ui::RecentNoticesView(notices, &popover);
    popover.show();
    EXPECT_FALSE(view.isVisible());

    notices.add(notice("Shown by the desktop", NoticeRoute::Desktop));
    EXPECT_FALSE(view.isVisible());

    for (int i = 1; i <= 60; ++i)
        notices.add(notice(QStringLiteral("Notice %1").arg(i), NoticeRoute::StandardError));
    EXPECT_TRUE(view.isVisible());
    ASSERT_EQ(view.list()->count(), RecentNotices::capacity);
    EXPECT_TRUE(view.list()->item(0)->text().contains("Notice 60\nBody of Notice 60."));
    EXPECT_TRUE(view.list()->item(49)->text().contains("Notice 11"));

    notices.add(notice("Back on the desktop", NoticeRoute::Desktop));
    EXPECT_FALSE(view.isVisible());
}
