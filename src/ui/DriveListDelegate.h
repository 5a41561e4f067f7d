#pragma once

#include <QStyledItemDelegate>

class QListWidgetItem;

namespace quindle {
struct Drive;
}

namespace quindle::ui {

// A drive in a list: its name, its mount path beneath in secondary text, and the "CURRENT"
// badge on the configured drive.
class DriveListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    enum Role { PathRole = Qt::UserRole + 1, CurrentRole };

    using QStyledItemDelegate::QStyledItemDelegate;

    // An item carrying what the delegate draws, and a name for screen readers.
    static QListWidgetItem *makeItem(const Drive &drive);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace quindle::ui
