// quindle_icons FOLDER: writes the application icon as quindle-<size>.png at the sizes desktops
// look for, for the install folder. The icon is drawn in code; this makes files of it.
#include "ui/TrayIconArt.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QPixmap>
#include <QTextStream>

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "Usage: quindle_icons FOLDER\n";
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const QIcon icon = quindle::ui::applicationIcon();
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral("%1/quindle-%2.png").arg(folder).arg(size);
        if (!icon.pixmap(size, size).save(file)) {
            QTextStream(stderr) << "quindle_icons: could not write " << file << '\n';
            return 1;
        }
    }
    return 0;
}
