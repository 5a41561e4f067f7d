#include "support/ScreenshotRun.h"

#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

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

void begin(const QString &tool, const QString &folder) {
    run().tool = tool;
    run().folder = folder;
    QDir().mkpath(folder);
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
    const QString path = run().folder + QLatin1Char('/') + file;
    if (!picture.save(path))
        fail(QStringLiteral("could not write ") + path);
    else
        std::printf("%s\n", qPrintable(path));
}

int exitCode() {
    return run().failures == 0 ? 0 : 1;
}

} // namespace quindle::test::screenshots
