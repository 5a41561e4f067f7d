#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QObject;

namespace quindle {

// The GNU rsync 3.x that copies every folder, and the arguments it is given.
class RsyncSupport {
public:
    QString executablePath;
    QString versionString; // first line of `--version`
    int major = 3;
    int minor = 0;
    int patch = 0;
    bool crtimesCapable = true; // false when `--version` lists "no crtimes" (Linux builds)

    bool atLeast(int wantMajor, int wantMinor, int wantPatch) const;

    // Copies the contents of the folder `source` into the folder `destination` (both get a trailing
    // slash). A source that is not a folder (a file, a link) is copied to the path `destination`.
    // `ignoreTimes` rewrites every file, whatever the destination already holds.
    QStringList arguments(const QString &source, const QString &destination, bool inplace,
                          bool sourceIsFolder = true, bool ignoreTimes = false) const;

    // Decides from the `--version` text; openrsync and anything that is not 3.x or 4.x is refused.
    static std::optional<RsyncSupport> fromVersionOutput(const QString &executablePath,
                                                         const QString &versionOutput);
    // Runs `path --version` and decides.
    static std::optional<RsyncSupport> acceptIfGNUv3(const QString &path);
    // The first acceptable executable among the platform's candidates.
    static std::optional<RsyncSupport> probe();

    // Process-wide cached probe. The first call schedules a probe; later calls do nothing.
    static void startProbeIfNeeded();
    // A fresh probe whatever the cache holds; `completion` runs on `context`'s thread afterwards.
    static void reprobe(QObject *context, std::function<void()> completion);
    // Blocks until the first probe has stored its result (for the command line and tests).
    static void waitForProbe();
    static std::optional<RsyncSupport> current();
    static bool isReady();
};

} // namespace quindle
