#pragma once

#include <QByteArray>
#include <QPixmap>
#include <QString>

#include <functional>

// The plumbing the screenshot tools share: where the pictures go, and failures counted and
// reported instead of aborting, so one broken window does not hide the others.
namespace quindle::test::screenshots {

// `tool` prefixes the messages; `folder` is created.
void begin(const QString &tool, const QString &folder);
QString folder();
void fail(const QString &what);
void wait(const std::function<bool()> &ready, const QString &what, int ms = 30000);
// Creates the folders; `executable` adds the owner's execute bit.
void writeFile(const QString &path, const QByteArray &content, bool executable = false);
// Saves into folder() and prints the path.
void save(const QPixmap &picture, const QString &file);
// The tool's exit status.
int exitCode();

} // namespace quindle::test::screenshots
