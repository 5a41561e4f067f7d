#include "ui/DriveListDelegate.h"

#include "insight/DriveSelection.h"
#include "ui/StatusIcons.h"

#include <QApplication>
#include <QListWidgetItem>
#include <QPainter>
#include <QPainterPath>

namespace quindle::ui {

namespace {

constexpr int kPadding = 8;
constexpr int kDriveIconSize = 32;
constexpr int kBadgePadding = 5;

QFont badgeFont(const QFont &base) {
    QFont font = base;
    font.setBold(true);
    font.setPointSizeF(base.pointSizeF() * 0.75);
    return font;
}

QFont nameFont(const QFont &base) {
    QFont font = base;
    font.setBold(true);
    return font;
}

} // namespace

QListWidgetItem *DriveListDelegate::makeItem(const Drive &drive) {
    auto *item = new QListWidgetItem(drive.name);
    item->setData(PathRole, drive.path);
    item->setData(CurrentRole, drive.is_current);
    item->setData(Qt::ToolTipRole, drive.path);
    QString spoken = drive.name + QStringLiteral(", ") + drive.path;
    if (drive.is_current)
        spoken += QStringLiteral(", current drive");
    item->setData(Qt::AccessibleTextRole, spoken);
    return item;
}

void DriveListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();

    // The selection and hover background the style draws for any item.
    opt.text.clear();
    opt.icon = QIcon();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                            : QPalette::Inactive;
    const QColor text =
        opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor secondary = text;
    secondary.setAlphaF(0.7f);

    painter->save();
    const QRect area = opt.rect.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    const QIcon icon = widget ? driveIcon(widget) : QIcon();
    const QRect iconRect(area.left(), area.center().y() - kDriveIconSize / 2, kDriveIconSize,
                         kDriveIconSize);
    icon.paint(painter, iconRect, Qt::AlignCenter,
               (opt.state & QStyle::State_Enabled) ? QIcon::Normal : QIcon::Disabled);

    QRect textRect = area.adjusted(kDriveIconSize + kPadding, 0, 0, 0);
    if (index.data(CurrentRole).toBool()) {
        const QString badge = DriveCard::currentBadge;
        const QFont font = badgeFont(opt.font);
        const QFontMetrics metrics(font);
        const int width = metrics.horizontalAdvance(badge) + 2 * kBadgePadding;
        const int height = metrics.height() + 2;
        const QRect badgeRect(textRect.right() - width + 1,
                              textRect.top() +
                                  (QFontMetrics(nameFont(opt.font)).height() - height) / 2,
                              width, height);
        QPainterPath pill;
        pill.addRoundedRect(badgeRect, height / 2.0, height / 2.0);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(pill, selected ? text : opt.palette.color(group, QPalette::Highlight));
        painter->setFont(font);
        painter->setPen(selected ? opt.palette.color(group, QPalette::Highlight)
                                 : opt.palette.color(group, QPalette::HighlightedText));
        painter->drawText(badgeRect, Qt::AlignCenter, badge);
        textRect.setRight(badgeRect.left() - kPadding);
    }

    const QFont bold = nameFont(opt.font);
    const QFontMetrics boldMetrics(bold);
    painter->setFont(bold);
    painter->setPen(text);
    const QRect nameRect(textRect.left(), textRect.top(), textRect.width(), boldMetrics.height());
    painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                      boldMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight,
                                             nameRect.width()));

    const QFontMetrics metrics(opt.font);
    painter->setFont(opt.font);
    painter->setPen(secondary);
    const QRect pathRect(textRect.left(), nameRect.bottom() + 3, area.right() - textRect.left(),
                         metrics.height());
    painter->drawText(
        pathRect, Qt::AlignLeft | Qt::AlignVCenter,
        metrics.elidedText(index.data(PathRole).toString(), Qt::ElideMiddle, pathRect.width()));
    painter->restore();
}

QSize DriveListDelegate::sizeHint(const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const {
    Q_UNUSED(index);
    const int lines =
        QFontMetrics(nameFont(option.font)).height() + 3 + QFontMetrics(option.font).height();
    return {200, std::max(lines, kDriveIconSize) + 2 * kPadding};
}

} // namespace quindle::ui
