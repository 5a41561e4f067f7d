#pragma once

#include <QIcon>
#include <QPixmap>

class QWidget;

namespace quindle::ui {

// The headline icons: the style's error and warning icons, and a drawn green shield with a
// check mark for a verified state (styles have no such icon).
QPixmap errorIcon(const QWidget *widget, int size);
QPixmap warningIcon(const QWidget *widget, int size);
QPixmap shieldIcon(const QWidget *widget, int size);
// A green disc with a check mark: a finished step.
QPixmap checkIcon(const QWidget *widget, int size);
// Two drives, one behind the other, in the palette's colours: the welcome picture.
QPixmap tierIcon(const QWidget *widget, int size);
// The desktop theme's icon for an external drive, else the style's.
QIcon driveIcon(const QWidget *widget);

} // namespace quindle::ui
