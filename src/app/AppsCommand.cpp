#include "app/CommandLine.h"
#include "app/EngineSession.h"

#include "apps/AppDiscovery.h"
#include "apps/AppSafety.h"
#include "core/JsonFormat.h"
#include "core/NVMeMount.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QTextStream>

namespace quindle {

namespace {

const char *const appsUsage = "Usage: quindle apps list [--json]\n"
                              "       quindle apps move NAME…\n"
                              "       quindle apps back NAME\n"
                              "       quindle apps moved\n"
                              "       quindle apps jobs\n";

// A name as people type it: the shown name, the folder name, the launcher ID or the path.
template <typename Item> bool namedBy(const QString &name, const Item &item, const QString &path) {
    return name.compare(item.displayName, Qt::CaseInsensitive) == 0 ||
           name == QFileInfo(path).fileName() || name == path ||
           (item.bundleID && name == *item.bundleID);
}

QString appSizeText(qint64 bytes) {
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

int listApps(const QStringList &arguments, QTextStream &out, QTextStream &err) {
    const bool json = arguments.contains(QStringLiteral("--json"));
    if (arguments.size() > (json ? 1 : 0)) {
        err << appsUsage;
        return 2;
    }
    const AppScan scan = discoverApps(currentDiscoveryScope());
    const QDateTime now = QDateTime::currentDateTime();
    QJsonArray rows;
    for (const AppEntry &entry : scan.entries) {
        const AppSafetyVerdict verdict = evaluate(entry, scan.facts, now);
        if (json) {
            rows.append(listJson(entry, now, verdict.rawValue(), verdict.message));
            continue;
        }
        out << entry.displayName << "  " << entry.path << "  " << appSizeText(entry.sizeBytes)
            << "  " << entry.lastUsedLabel(now) << "  " << verdict.rawValue();
        if (!verdict.message.isEmpty())
            out << "  " << verdict.message;
        out << '\n';
    }
    if (json)
        out << QJsonDocument(rows).toJson(QJsonDocument::Indented);
    else if (scan.entries.isEmpty())
        out << "No apps were found in the apps roots.\n";
    return 0;
}

int moveApps(const QStringList &names, EngineSession &session, QTextStream &out, QTextStream &err) {
    const QStringList drives = configuredNVMePaths();
    const QString nvme = drives.value(0);
    const AppScan scan = discoverApps(currentDiscoveryScope());
    const QDateTime now = QDateTime::currentDateTime();
    QList<QUuid> queued;
    bool refused = false;
    for (const QString &name : names) {
        const auto entry =
            std::find_if(scan.entries.cbegin(), scan.entries.cend(),
                         [&](const AppEntry &e) { return namedBy(name, e, e.path); });
        if (entry == scan.entries.cend()) {
            err << "No app in the apps roots is called " << name << ".\n";
            refused = true;
            continue;
        }
        const AppSafetyVerdict verdict = evaluate(*entry, scan.facts, now);
        if (verdict.kind == AppSafetyVerdict::Kind::Blocked) {
            err << verdict.message << '\n';
            refused = true;
            continue;
        }
        if (nvme.isEmpty()) {
            err << "NVMe path unknown. Refresh the status and try again.\n";
            return 1;
        }
        const auto result = session.apps->moveToNVMe(*entry, nvme);
        if (const auto *error = std::get_if<AppRelocateError>(&result)) {
            err << error->message() << '\n';
            refused = true;
            continue;
        }
        queued << std::get<QUuid>(result);
    }
    err.flush();
    if (const int stopped = session.runAppsUntilSettled(queued, out, err))
        return stopped;
    bool allDone = !refused;
    for (const QUuid &id : std::as_const(queued)) {
        const std::optional<AppMoveJob> job = session.apps->job(id);
        if (!job)
            continue;
        out << describeAppJob(*job) << '\n';
        allDone = allDone && job->manifest.phase == AppMovePhase::Done;
    }
    return allDone ? 0 : 1;
}

int moveBack(const QString &name, EngineSession &session, QTextStream &out, QTextStream &err) {
    const QList<MovedApp> &moved = session.apps->moved();
    const auto app = std::find_if(moved.cbegin(), moved.cend(), [&](const MovedApp &m) {
        return namedBy(name, m, m.originalPath);
    });
    if (app == moved.cend()) {
        err << "No moved app is called " << name << ".\n";
        return 1;
    }
    const auto result = session.apps->moveBackFromNVMe(*app);
    if (const auto *error = std::get_if<AppRelocateError>(&result)) {
        err << error->message() << '\n';
        return 1;
    }
    const QUuid id = std::get<QUuid>(result);
    if (const int stopped = session.runAppsUntilSettled({id}, out, err))
        return stopped;
    const std::optional<AppMoveJob> job = session.apps->job(id);
    if (job)
        out << describeAppJob(*job) << '\n';
    return job && job->manifest.phase == AppMovePhase::Done ? 0 : 1;
}

} // namespace

int runApps(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString action = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    const bool known =
        (action == QLatin1String("list")) || (action == QLatin1String("move") && !rest.isEmpty()) ||
        (action == QLatin1String("back") && rest.size() == 1) ||
        ((action == QLatin1String("moved") || action == QLatin1String("jobs")) && rest.isEmpty());
    if (!known) {
        err << appsUsage;
        return 2;
    }
    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;
    if (action == QLatin1String("list"))
        return listApps(rest, out, err);
    if (action == QLatin1String("move"))
        return moveApps(rest, *session, out, err);
    if (action == QLatin1String("back"))
        return moveBack(rest.first(), *session, out, err);
    if (action == QLatin1String("moved")) {
        for (const MovedApp &app : session->apps->moved())
            out << app.displayName << "  " << app.originalPath << " → " << app.nvmePath << "  "
                << appSizeText(app.sizeBytes) << "  " << isoDate(app.movedAt) << '\n';
        if (session->apps->moved().isEmpty())
            out << "No apps moved yet.\n";
        return 0;
    }
    for (const AppMoveJob &job : session->apps->pendingJobs())
        out << describeAppJob(job) << '\n';
    if (session->apps->pendingJobs().isEmpty())
        out << "No app moves are recorded.\n";
    return 0;
}

} // namespace quindle
