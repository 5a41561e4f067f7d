#pragma once

#include <QFrame>

class QListWidget;

namespace quindle {
class RecentNotices;
}

namespace quindle::ui {

// The last notices, newest first, for the popover: shown only while the desktop cannot show
// them itself, hidden otherwise.
class RecentNoticesView : public QFrame {
    Q_OBJECT
public:
    explicit RecentNoticesView(RecentNotices &notices, QWidget *parent = nullptr);

    QListWidget *list() const { return m_list; }

private:
    void present();

    RecentNotices &m_notices;
    QListWidget *m_list = nullptr;
};

} // namespace quindle::ui
