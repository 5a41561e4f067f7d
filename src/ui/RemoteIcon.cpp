#include "ui/RemoteIcon.h"

#include <QStyle>
#include <QWidget>

namespace quindle::ui {

QIcon remoteIcon(const QWidget *widget, const QString &type) {
    QStyle *style = widget->style();
    if (type == QLatin1String("drive"))
        return style->standardIcon(QStyle::SP_DriveNetIcon);
    if (type == QLatin1String("googlephotos"))
        return style->standardIcon(QStyle::SP_FileDialogContentsView);
    if (type == QLatin1String("local") || type == QLatin1String("alias"))
        return style->standardIcon(QStyle::SP_DirIcon);
    return style->standardIcon(QStyle::SP_ComputerIcon);
}

} // namespace quindle::ui
