#pragma once

#include <QString>

// The storage windows with sample data: the inspector, the runs' windows, the charts, and
// Settings' cloud folders and backups. Needs the sandbox's service installed with its drive
// prepared and with the installed script still its own.
void storageScreenshots();
