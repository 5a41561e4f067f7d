#include "app/CommandLine.h"

#include "app/CommandOutput.h"
#include "app/EngineLock.h"
#include "app/EngineSession.h"
#include "mover/MoveManifest.h"
#include "platform/TerminationSignals.h"
#include "transfers/JobStore.h"
#include "transfers/RcloneClient.h"
#include "transfers/RemoteManager.h"
#include "transfers/TransferForm.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTextStream>

namespace quindle {

namespace {

int transferUsage() {
    QTextStream(stderr)
        << "Usage: quindle transfer add MODE SOURCE DESTINATION [--bwlimit RATE] [--transfers N]\n"
           "                            [--dry-run] [--resync] [--schedule WHEN]\n"
           "       quindle transfer cancel|remove|retry ID\n"
           "       quindle transfers [--json]\n"
           "       quindle transfers run [--watch]\n"
           "       quindle transfers clear-finished|check-drive\n"
           "MODE is copy, move, sync_one_way or bisync; WHEN is daily:HH:MM, hourly:N,\n"
           "weekly:D:HH:MM (D 1 = Sunday … 7 = Saturday) or monthly:D:HH:MM.\n";
    return 2;
}

QString jobLine(const SyncJob &job) {
    QString line = QStringLiteral("%1  %2  %3  %4 → %5")
                       .arg(uuidText(job.id), badgeText(job.state).leftJustified(17),
                            label(job.mode), job.source, job.destination);
    if (!job.schedule.isNone())
        line += QStringLiteral("  (") + job.schedule.summary() + QLatin1Char(')');
    return line;
}

// A full id or the start of one that names a single job.
std::optional<QUuid> findJob(const QList<SyncJob> &jobs, const QString &text) {
    std::optional<QUuid> found;
    for (const SyncJob &job : jobs) {
        if (!uuidText(job.id).startsWith(text.toUpper()) || text.isEmpty())
            continue;
        if (found)
            return std::nullopt;
        found = job.id;
    }
    return found;
}

int addTransfer(const QStringList &arguments) {
    if (arguments.size() < 3)
        return transferUsage();
    TransferForm form;
    const std::optional<JobMode> mode = jobModeFromRaw(arguments.at(0));
    if (!mode)
        return refused(QStringLiteral("“%1” is not a transfer mode: use copy, move, sync_one_way "
                                      "or bisync.")
                           .arg(arguments.at(0)));
    form.mode = *mode;
    form.source = arguments.at(1);
    form.destination = arguments.at(2);
    for (qsizetype i = 3; i < arguments.size(); ++i) {
        const QString &option = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (option == QLatin1String("--dry-run")) {
            form.dryRun = true;
        } else if (option == QLatin1String("--resync")) {
            form.bisyncResync = true;
        } else if (option == QLatin1String("--bwlimit") && hasValue) {
            form.bandwidthLimit = arguments.at(++i);
        } else if (option == QLatin1String("--transfers") && hasValue) {
            bool ok = false;
            form.transfers = arguments.at(++i).toInt(&ok);
            if (!ok)
                return refused(QStringLiteral("The number of transfers must be a whole number."));
        } else if (option == QLatin1String("--schedule") && hasValue) {
            const std::optional<Schedule> schedule = parseScheduleSpec(arguments.at(++i));
            if (!schedule)
                return refused(QStringLiteral("“%1” is not a schedule.").arg(arguments.at(i)));
            form.schedule = *schedule;
        } else {
            return transferUsage();
        }
    }
    QHash<QString, QString> remotes;
    bool remotesRead = false;
    const auto remoteExists = [&](const QString &name) {
        if (!remotesRead)
            remotes =
                RemoteManager::typesByName(RemoteManager::readRemotes().value_or(QList<Remote>{}));
        remotesRead = true;
        return remotes.contains(name);
    };
    std::variant<SyncJob, QString> made = form.makeJob(remoteExists);
    if (const QString *problem = std::get_if<QString>(&made))
        return refused(*problem);

    QTextStream err(stderr);
    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;
    SyncJob job = std::get<SyncJob>(std::move(made));
    const QUuid id = job.id;
    if (!session->transfers->enqueue(std::move(job)))
        return refused(QStringLiteral("Not added: the same transfer is already active."));
    QTextStream(stdout) << uuidText(id) << '\n';
    return 0;
}

int change(const QString &verb, const QString &idText) {
    QTextStream err(stderr);
    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;
    SyncManager &manager = *session->transfers;
    const std::optional<QUuid> id = findJob(manager.jobs(), idText);
    if (!id)
        return refused(QStringLiteral("No single transfer has the id “%1”.").arg(idText));
    QTextStream out(stdout);
    if (verb == QLatin1String("cancel")) {
        const JobState before = manager.job(*id)->state;
        manager.cancel(*id);
        if (manager.job(*id)->state == before)
            return refused(QStringLiteral("Only a queued, paused or waiting transfer can be "
                                          "cancelled here; a running one stops with its run."));
        out << jobLine(*manager.job(*id)) << '\n';
        return 0;
    }
    if (verb == QLatin1String("remove")) {
        if (!manager.remove(*id))
            return refused(QStringLiteral("Only a finished transfer can be removed."));
        out << "Removed " << uuidText(*id) << ".\n";
        return 0;
    }
    const std::optional<SyncJob> old = manager.job(*id);
    if (!isFinished(old->state))
        return refused(QStringLiteral("Only a finished transfer can be retried."));
    const std::optional<QUuid> again = manager.retry(*id);
    if (!again)
        return refused(QStringLiteral("Not added: the same transfer is already active."));
    out << uuidText(*again) << '\n';
    return 0;
}

int listTransfers(bool asJson) {
    QList<SyncJob> jobs = JobStore::load().jobs;
    // Without a live owner a "running" job is what a killed run left behind: it runs again.
    if (!engineLockHeld())
        for (SyncJob &job : jobs)
            if (job.state == JobState::Running || job.state == JobState::Preparing)
                job.state = JobState::Queued;
    QTextStream out(stdout);
    if (asJson) {
        QJsonArray array;
        for (const SyncJob &job : jobs)
            array << job.toJson();
        out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return 0;
    }
    if (jobs.isEmpty())
        out << "No transfers.\n";
    for (const SyncJob &job : jobs) {
        out << jobLine(job) << '\n';
        if (job.errorMessage)
            out << "    " << QString(*job.errorMessage).replace('\n', QStringLiteral("\n    "))
                << '\n';
        if (const QString missed = missedRunsText(job); !missed.isEmpty())
            out << "    " << missed << '\n';
    }
    return 0;
}

// Runs the transfers until none is queued or running (or, watching, until a signal); 0 only when
// every run it started completed.
int run(bool watch) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;
    SyncManager &manager = *session->transfers;
    QSet<QUuid> started;
    bool allCompleted = true;
    QEventLoop loop;
    const auto idle = [&] {
        return manager.rcloneProbed() &&
               std::none_of(manager.jobs().cbegin(), manager.jobs().cend(), [](const SyncJob &job) {
                   return job.state == JobState::Queued || job.state == JobState::Running ||
                          job.state == JobState::Preparing;
               });
    };
    QObject::connect(&manager, &SyncManager::jobStarted, &loop, [&](const QUuid &id) {
        started.insert(id);
        out << "Started " << jobLine(*manager.job(id)) << '\n';
        out.flush();
    });
    QObject::connect(&manager, &SyncManager::jobEnded, &loop, [&](const QUuid &id) {
        const SyncJob job = *manager.job(id);
        if (job.state != JobState::Completed)
            allCompleted = false;
        out << jobLine(job) << '\n';
        if (job.errorMessage)
            out << "    " << QString(*job.errorMessage).replace('\n', QStringLiteral("\n    "))
                << '\n';
        out.flush();
    });
    const auto settle = [&] {
        if (!watch && idle())
            loop.quit();
    };
    QObject::connect(&manager, &SyncManager::jobsChanged, &loop, settle);
    QObject::connect(&manager, &SyncManager::rcloneStatusChanged, &loop, settle);
    int stoppedBy = 0;
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::received, &loop, [&](int number) {
        stoppedBy = number;
        loop.quit();
    });
    manager.start();
    if (!manager.notice().isEmpty())
        err << manager.notice() << '\n';
    loop.exec();
    if (stoppedBy) {
        manager.terminateAllInFlight();
        err << "Stopped; the transfers under way run again with `quindle transfers run`.\n";
        return 128 + stoppedBy;
    }
    return allCompleted ? 0 : 1;
}

int driveCheck() {
    QTextStream err(stderr);
    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;
    SyncManager &manager = *session->transfers;
    QTextStream out(stdout);
    if (!manager.hasJobsAwaitingDrive()) {
        out << "No transfer waits for the drive.\n";
        return 0;
    }
    manager.resumeJobsAwaitingDrive();
    if (manager.hasJobsAwaitingDrive()) {
        out << "The drive is still not reachable; the transfers keep waiting.\n";
        return 1;
    }
    out << "The drive is back; the waiting transfers run with `quindle transfers run`.\n";
    return 0;
}

} // namespace

int runTransfer(const QStringList &arguments) {
    if (arguments.isEmpty())
        return transferUsage();
    const QString verb = arguments.first();
    if (verb == QLatin1String("add"))
        return addTransfer(arguments.mid(1));
    if ((verb == QLatin1String("cancel") || verb == QLatin1String("remove") ||
         verb == QLatin1String("retry")) &&
        arguments.size() == 2)
        return change(verb, arguments.at(1));
    return transferUsage();
}

int runTransfers(const QStringList &arguments) {
    if (arguments.isEmpty() || arguments == QStringList{QStringLiteral("--json")})
        return listTransfers(!arguments.isEmpty());
    const QString verb = arguments.first();
    if (verb == QLatin1String("run") &&
        (arguments.size() == 1 || arguments.mid(1) == QStringList{QStringLiteral("--watch")}))
        return run(arguments.size() == 2);
    if (arguments.size() != 1)
        return transferUsage();
    if (verb == QLatin1String("check-drive"))
        return driveCheck();
    if (verb == QLatin1String("clear-finished")) {
        QTextStream err(stderr);
        const std::unique_ptr<EngineSession> session = EngineSession::open(err);
        if (!session)
            return 1;
        session->transfers->clearFinished();
        QTextStream(stdout) << "Finished transfers cleared.\n";
        return 0;
    }
    return transferUsage();
}

} // namespace quindle
