#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quindle {

// What the updater script is told: where everything is, whom to wait for, and how long.
struct UpdaterValues {
    QString log;
    qint64 parent = 0;      // Quindle's process id
    QString archive;        // the downloaded tarball
    QString staging;        // .quindle-update-<id>/ beside the install folder
    QString build;          // the checked new build inside it
    QString install;        // the install folder, whose path never changes
    QString previous;       // where the two-rename fallback parks the old version
    int parentChecks = 150; // 0.2 s apart
    int startWaitSeconds = 5;
};

// A value as one word for bash: single-quoted, with each ' written '\''.
QString shellQuoted(const QString &value);

// The script: the values, each quoted, then the updater's fixed body.
QByteArray updaterScript(const UpdaterValues &values);

// Creates the script at `path` (never over an existing file), readable and runnable by the owner
// only; the error text on failure.
std::optional<QString> writeUpdaterScript(const QString &path, const UpdaterValues &values);

} // namespace quindle
