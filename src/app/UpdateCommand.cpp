#include "app/CommandLine.h"
#include "app/EngineLock.h"
#include "app/WaitFor.h"

#include "updates/AutoUpdater.h"
#include "updates/ManifestFetcher.h"
#include "updates/UpdatePrompt.h"

#include <QEventLoop>
#include <QTextStream>

namespace quindle {

namespace {

// Prints each phase once, and the download in steps of 10 %.
class PhasePrinter {
public:
    explicit PhasePrinter(QTextStream &out)
        : m_out(out) {}

    void show(const AutoUpdater &updater) {
        const AutoUpdater::Phase phase = updater.phase();
        if (phase == AutoUpdater::Phase::Failed)
            return;
        const int step = static_cast<int>(updater.fraction() * 10);
        if (phase == m_phase && (phase != AutoUpdater::Phase::Downloading || step == m_step))
            return;
        m_phase = phase;
        m_step = step;
        const QString detail = updatePhaseDetail(phase, updater.fraction());
        m_out << updatePhaseTitle(phase) << (detail.isEmpty() ? "" : ": ") << detail << '\n';
        m_out.flush();
    }

private:
    QTextStream &m_out;
    AutoUpdater::Phase m_phase = AutoUpdater::Phase::Idle;
    int m_step = -1;
};

int installUpdate(const ManifestV2 &offer, QTextStream &out, QTextStream &err) {
    AutoUpdater updater;
    PhasePrinter printer(out);
    QEventLoop loop;
    QObject::connect(&updater, &AutoUpdater::changed, &loop, [&] {
        printer.show(updater);
        if (updater.phase() == AutoUpdater::Phase::Failed)
            loop.quit();
    });
    QObject::connect(&updater, &AutoUpdater::quitRequested, &loop, &QEventLoop::quit);
    updater.run(offer);
    if (updater.isRunning())
        loop.exec();
    if (updater.phase() == AutoUpdater::Phase::Failed) {
        err << updater.message() << '\n';
        return 1;
    }
    return 0;
}

} // namespace

// quindle update [--yes]
int runUpdate(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const bool yes = arguments == QStringList{QStringLiteral("--yes")};
    if (!arguments.isEmpty() && !yes) {
        err << "Usage: quindle update [--yes]\n";
        return 2;
    }
    // The running application would keep its old files open and race the updater.
    const std::unique_ptr<QLockFile> lock = takeEngineLock();
    if (!lock) {
        err << engineLockHeldMessage() << '\n';
        return 1;
    }
    ManifestFetcher fetcher;
    waitFor(fetcher.refresh());
    if (!fetcher.hasFreshManifest()) {
        err << fetcher.lastError().value_or(QStringLiteral("Manifest fetch failed.")) << '\n';
        return 1;
    }
    const ManifestV2 &offer = *fetcher.manifest();
    if (!fetcher.updateAvailable()) {
        out << "Quindle " << UpdatePrompt::installedVersion() << " is up to date.\n";
        return 0;
    }
    out << "Update available: " << offer.version << '\n';
    out.flush();
    return yes ? installUpdate(offer, out, err) : 0;
}

} // namespace quindle
