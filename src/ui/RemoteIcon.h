#pragma once

#include <QIcon>
#include <QString>

class QWidget;

namespace quindle::ui {

// The icon of an account's kind: Google Drive, Google Photos, a local folder, any other cloud.
QIcon remoteIcon(const QWidget *widget, const QString &type);

} // namespace quindle::ui
