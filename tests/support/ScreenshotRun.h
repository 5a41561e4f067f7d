#pragma once

#include <QByteArray>
#include <QPixmap>
#include <QString>

#include <functional>

class QWidget;

// The plumbing the screenshot tools share: the appearance asked for, where the pictures go, and
// failures counted and reported instead of aborting, so one broken window does not hide the
// others.
namespace quindle::test::screenshots {

// `tool [--font-size PT] [--palette light|dark] [--scale FACTOR] [folder]`.
struct Options {
    int pointSize = 0; // 0: Qt's default
    bool dark = false;
    double scale = 1.0;
    QString folder;
};
// Reads the arguments and applies the scale, which Qt takes only before the application exists.
// Exits with a usage line on an argument it does not know.
Options parse(int argc, char **argv, const QString &defaultFolder);

// After the application exists: the Fusion style, the font size and the palette. `folder` is
// created.
void begin(const QString &tool, const Options &options);
// The palette of a dark desktop.
void useDarkPalette();
QString folder();
void fail(const QString &what);
void wait(const std::function<bool()> &ready, const QString &what, int ms = 30000);
// Creates the folders; `executable` adds the owner's execute bit.
void writeFile(const QString &path, const QByteArray &content, bool executable = false);
// Saves into folder() and prints the path.
void save(const QPixmap &picture, const QString &file);
// Fails for every piece of `window` whose text does not fit, then saves its picture.
void shoot(QWidget *window, const QString &file);
// The tool's exit status.
int exitCode();

} // namespace quindle::test::screenshots
