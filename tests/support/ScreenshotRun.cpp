#include "support/ScreenshotRun.h"

#include "support/ClippedWidgets.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPalette>
#include <QStyleFactory>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace quindle::test::screenshots {

namespace {

struct Run {
    QString tool;
    QString folder;
    int failures = 0;
};

Run &run() {
    static Run instance;
    return instance;
}

} // namespace

Options parse(int argc, char **argv, const QString &defaultFolder) {
    Options options;
    options.folder = defaultFolder;
    const auto usage = [&] {
        std::fprintf(stderr,
                     "usage: %s [--font-size PT] [--palette light|dark] [--scale FACTOR] "
                     "[folder]\n",
                     argv[0]);
        std::exit(2);
    };
    for (int i = 1; i < argc; ++i) {
        const QString word = QString::fromLocal8Bit(argv[i]);
        const bool hasValue = i + 1 < argc;
        const QString value = hasValue ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        bool ok = true;
        if (word == "--font-size" && hasValue)
            options.pointSize = value.toInt(&ok);
        else if (word == "--palette" && hasValue)
            ok = (options.dark = value == "dark") || value == "light";
        else if (word == "--scale" && hasValue)
            options.scale = value.toDouble(&ok);
        else if (!word.startsWith("--"))
            options.folder = word;
        else
            usage();
        if (!ok || options.pointSize < 0 || options.scale <= 0)
            usage();
        if (word.startsWith("--"))
            ++i;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (options.scale != 1.0)
        qputenv("QT_SCALE_FACTOR", QByteArray::number(options.scale));
    return options;
}

void begin(const QString &tool, const Options &options) {
    run().tool = tool;
    run().folder = options.folder;
    QDir().mkpath(options.folder);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    if (options.pointSize > 0) {
        QFont font = QApplication::font();
        font.setPointSize(options.pointSize);
        QApplication::setFont(font);
    }
    if (options.dark)
        useDarkPalette();
}

void useDarkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
    dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    dark.setColor(QPalette::AlternateBase, QColor(0x36, 0x36, 0x3a));
    dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    dark.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    // Dark desktop themes lighten links too; Qt's default blue is unreadable on a dark window.
    dark.setColor(QPalette::Link, QColor(0x7a, 0xb7, 0xff));
    dark.setColor(QPalette::LinkVisited, QColor(0xb8, 0x9c, 0xff));
    dark.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0xa0));
    dark.setColor(QPalette::Link, QColor(0x6c, 0xb4, 0xff));
    dark.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3a, 0x3e));
    dark.setColor(QPalette::ToolTipText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4f));
    dark.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x45));
    dark.setColor(QPalette::Mid, QColor(0x5a, 0x5a, 0x60));
    dark.setColor(QPalette::Dark, QColor(0x1a, 0x1a, 0x1c));
    dark.setColor(QPalette::Shadow, QColor(0x10, 0x10, 0x10));
    for (const QPalette::ColorRole role :
         {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        dark.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    QApplication::setPalette(dark);
}

QString folder() {
    return run().folder;
}

void fail(const QString &what) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(run().tool), qPrintable(what));
    ++run().failures;
}

void wait(const std::function<bool()> &ready, const QString &what, int ms) {
    if (!waitUntil(ready, ms))
        fail(QStringLiteral("gave up waiting for ") + what);
}

void writeFile(const QString &path, const QByteArray &content, bool executable) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail(QStringLiteral("could not write ") + path);
        return;
    }
    file.write(content);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner);
}

void save(const QPixmap &picture, const QString &file) {
    const QString path = run().folder + u'/' + file;
    if (!picture.save(path))
        fail(QStringLiteral("could not write ") + path);
    else
        std::printf("%s\n", qPrintable(path));
}

void shoot(QWidget *window, const QString &file) {
    QApplication::processEvents();
    for (const QString &clipped : test::clippedWidgets(window))
        fail(file + QStringLiteral(": cut off: ") + clipped);
    save(window->grab(), file);
}

int exitCode() {
    return run().failures == 0 ? 0 : 1;
}

} // namespace quindle::test::screenshots
