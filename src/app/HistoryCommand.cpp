#include "app/CommandLine.h"

#include "core/VolumeSpace.h"
#include "insight/HistoryStore.h"

#include <QLocale>
#include <QTextStream>

namespace quindle {

namespace {

int historyUsage(QTextStream &err) {
    err << "Usage: quindle history [--range LABEL] [--now DATETIME] [--json]\n"
           "       quindle history --top\n"
           "LABEL is one of:";
    for (ChartTimeRange range : chartTimeRanges())
        err << ' ' << label(range);
    err << "\n";
    return 2;
}

QString volume(qint64 freeGB, qint64 totalGB) {
    return totalGB > 0 ? QStringLiteral("%1 / %2 GB free").arg(freeGB).arg(totalGB)
                       : QStringLiteral("away");
}

} // namespace

// quindle history: the daily snapshots the charts draw, for a range, as text or JSON lines.
int runHistory(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    ChartTimeRange range = ChartTimeRange::lifetime;
    QDateTime now = QDateTime::currentDateTime();
    bool json = false;
    bool top = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (word == QLatin1String("--json")) {
            json = true;
        } else if (word == QLatin1String("--top")) {
            top = true;
        } else if (word == QLatin1String("--range") && i + 1 < arguments.size()) {
            const std::optional<ChartTimeRange> chosen = chartTimeRangeFromLabel(arguments.at(++i));
            if (!chosen)
                return historyUsage(err);
            range = *chosen;
        } else if (word == QLatin1String("--now") && i + 1 < arguments.size()) {
            now = QDateTime::fromString(arguments.at(++i), Qt::ISODate);
            if (!now.isValid()) {
                err << "“" << arguments.at(i) << "” is no date and time (2026-12-06T09:00:00Z).\n";
                return 2;
            }
        } else {
            return historyUsage(err);
        }
    }
    if (top && (json || arguments.size() != 1))
        return historyUsage(err);

    HistoryStore store;
    store.refresh();
    if (store.loadError()) {
        err << *store.loadError() << '\n';
        return 1;
    }
    if (top) {
        // A day whose scan did not finish names no folders; the last one that did stands.
        const auto &all = store.snapshots();
        const auto latest = std::find_if(all.crbegin(), all.crend(),
                                         [](const auto &s) { return !s.dirsMB.isEmpty(); });
        if (latest == all.crend()) {
            out << "No snapshot names any folders yet.\n";
            return 0;
        }
        out << "Largest folders on "
            << latest->ts.toLocalTime().toString(QStringLiteral("yyyy-MM-dd")) << ":\n";
        for (const TopDirectory &dir : HistoryStore::topDirectories(*latest))
            out << dir.size.rightJustified(10) << "  " << dir.path << '\n';
        return 0;
    }
    const QList<HistorySnapshot> shown =
        HistoryStore::visible(store.snapshots(), range, now, QLocale::system().firstDayOfWeek());
    if (json) {
        for (const HistorySnapshot &snapshot : shown)
            out << snapshot.toJson() << '\n';
        return 0;
    }
    if (store.snapshots().size() < 2)
        out << HistoryStore::notEnoughSnapshotsText() << '\n';
    for (const HistorySnapshot &snapshot : shown)
        out << snapshot.ts.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
            << "  internal " << volume(snapshot.internalFreeGB, snapshot.internalTotalGB)
            << "  NVMe " << volume(snapshot.nvmeFreeGB, snapshot.nvmeTotalGB) << "  saved "
            << sizeText(snapshot.cumulativeSavedBytes) << '\n';
    out << shown.size() << " of " << store.snapshots().size() << " snapshots in " << label(range)
        << ".\n";
    return 0;
}

} // namespace quindle
