#pragma once

#include "ui/WindowKind.h"

#include <QString>

class QWidget;

// Shows `window` at the size it opens with and lets it lay itself out.
void present(QWidget *window, quindle::ui::WindowKind kind);
// present(), then saves it to `file` in the screenshot folder.
void save(QWidget *window, quindle::ui::WindowKind kind, const QString &file);

// The storage windows with sample data: the inspector, the runs' windows, the charts, and
// Settings' cloud folders and backups. Needs the sandbox's service installed with its drive
// prepared and with the installed script still its own.
void storageScreenshots();
