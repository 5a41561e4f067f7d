#include "app/CommandLine.h"
#include "app/EngineSession.h"

#include "core/AtomicFile.h"
#include "core/ConfigFile.h"
#include "core/Installer.h"
#include "core/ServiceBridge.h"
#include "core/ServiceScripts.h"
#include "core/StatePaths.h"
#include "insight/NVMeInfo.h"
#include "mover/TreeHasher.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTextStream>

namespace quindle {

namespace {

using namespace std::chrono_literals;

void write(const QString &path, const QByteArray &content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

void makeSampleTree(const QString &root) {
    write(root + QStringLiteral("/README.md"), "# Thesis\n\nDrafts and data for chapter 3.\n");
    write(root + QStringLiteral("/chapters/03 results.md"), QByteArray(40000, 'r'));
    write(root + QStringLiteral("/data/measurements.csv"), QByteArray("t,value\n").repeated(20000));
    write(root + QStringLiteral("/data/raw/run 1.bin"), QByteArray(300000, '\x5a'));
    QFile::link(QStringLiteral("../README.md"), root + QStringLiteral("/data/README link"));
    QDir().mkpath(root + QStringLiteral("/figures"));
}

void listTree(QTextStream &out, const QString &root) {
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    QStringList lines;
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QString relative = QDir(root).relativeFilePath(path);
        if (info.isSymLink())
            lines << QStringLiteral("    %1 → %2").arg(relative, info.symLinkTarget());
        else if (info.isDir())
            lines << QStringLiteral("    %1/").arg(relative);
        else
            lines << QStringLiteral("    %1  (%2 bytes)").arg(relative).arg(info.size());
    }
    lines.sort();
    for (const QString &line : lines)
        out << line << '\n';
}

std::optional<QString> digest(const QString &root) {
    return TreeHasher::hash(root, nullptr, [] { return false; });
}

int fail(QTextStream &err, const QString &message) {
    err << message << '\n';
    return 1;
}

} // namespace

int runDemo(const QStringList &) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/quindle-demo-XXXXXX"));
    if (!temporary.isValid())
        return fail(err, QStringLiteral("Could not create a temporary folder for the demo."));
    const QString home = temporary.path() + QStringLiteral("/home");
    const QString drive = temporary.path() + QStringLiteral("/spare drive");
    QDir().mkpath(home);
    QDir().mkpath(drive);
    // Everything below works in the temporary home: the user's own Quindle is never touched.
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));

    out << "Quindle demo — everything happens in " << temporary.path()
        << " and is removed at the end.\n\n";

    // 1. The service and its configuration, with a plain folder standing in for the drive.
    const QString scripts = Installer::bundledScriptsFolder();
    if (scripts.isEmpty())
        return fail(err, Installer::bundleMissingScriptsMessage());
    QDir().mkpath(paths::stateDirectory());
    for (const QString &script : Installer::scriptTable())
        QFile::copy(scripts + QLatin1Char('/') + script,
                    paths::quindleDirectory() + QLatin1Char('/') + script);
    const std::optional<QByteArray> configTemplate =
        readWholeFile(scripts + QStringLiteral("/quindle.conf"));
    write(paths::configFile(), Installer::defaultConfiguration(
                                   QString::fromUtf8(configTemplate.value_or(QByteArray())), drive)
                                   .toUtf8());
    if (auto error =
            ConfigFile().set({{QStringLiteral("NVME_REQUIRE_MOUNTPOINT"), QStringLiteral("0")}}))
        return fail(err, *error);
    out << "1. The service's configuration names a spare folder as the drive:\n    NVMe="
        << ConfigFile().value(QStringLiteral("NVMe")).value_or(QString()) << "\n\n";

    // 2. Prepare the drive and let the service look at it once.
    qputenv("NVMe", QFile::encodeName(drive));
    const ProcessOutput prep = ServiceBridge::runProcessBlocking(
        service::program(),
        {paths::quindleDirectory() + QLatin1Char('/') + service::prepDriveScript,
         QStringLiteral("--auto")},
        60s);
    qunsetenv("NVMe");
    ServiceBridge::runProcessBlocking(
        service::program(), service::arguments(service::watch, {QStringLiteral("--once")}), 60s);
    const ProcessOutput info = ServiceBridge::runProcessBlocking(
        service::program(), service::arguments(service::nvmeInfo), 60s);
    const std::optional<NVMeInfo> decoded = NVMeInfo::decode(info.output.toUtf8());
    if (prep.status != 0 || !decoded)
        return fail(err,
                    QStringLiteral("The drive could not be prepared: ") + prep.output.trimmed());
    const NVMeInspection inspection = NVMeInspection::from(*decoded);
    out << "2. Drive prepared. The service reports: " << inspection.headline << " — "
        << inspection.subtitle << "\n\n";

    // 3. A sample folder on the "internal disk".
    const QString source = home + QStringLiteral("/Thesis");
    makeSampleTree(source);
    const std::optional<QString> before = digest(source);
    out << "3. A sample folder, " << source << ":\n";
    listTree(out, source);
    out << '\n';

    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;

    // 4. Move it with links left behind.
    out << "4. Moving it to the drive and leaving links behind (relocate, fast verification):\n";
    const EnqueueOutcome outcome = session->mover->enqueue(
        source, drive + QStringLiteral("/Archive"), MoveConflictPolicy::Merge, true);
    if (outcome.kind != EnqueueOutcome::Kind::Enqueued)
        return fail(err, QStringLiteral("The move was not accepted: ") + outcome.message);
    if (const int stopped = session->runUntilSettled({outcome.job}, out, err))
        return stopped;
    const MoveManifest moved = session->mover->job(outcome.job)->manifest;
    if (moved.phase != MovePhase::Done)
        return fail(err, QStringLiteral("The move did not complete: ") +
                             moved.lastError.value_or(QString()));
    out << "\n5. The source folder now holds links to the copies on the drive:\n";
    listTree(out, source);

    // 6. Revert: refused while the links are in place, accepted once they are gone.
    out << "\n6. Reverting the move.\n";
    if (const std::optional<QString> refusal = session->mover->revert(moved))
        out << "    Refused, as it should be: " << *refusal
            << "\n    Removing the links (the data stays on the drive)…\n";
    QDir(source).removeRecursively();
    if (const std::optional<QString> refusal = session->mover->revert(moved))
        return fail(err, *refusal);
    const MoveJob back = session->mover->jobs().last();
    if (const int stopped = session->runUntilSettled({back.id()}, out, err))
        return stopped;
    if (session->mover->job(back.id())->manifest.phase != MovePhase::Done)
        return fail(err, QStringLiteral("The revert did not complete."));

    out << "\n7. The folder is back:\n";
    listTree(out, source);
    const bool identical = before && digest(source) == before;
    out << "\n    Identical to the original, byte for byte (SHA-256 tree digest): "
        << (identical ? "yes" : "NO") << "\n    Still on the drive: "
        << (QFileInfo::exists(moved.finalDst) ? "yes" : "no, the copy was removed")
        << "\n\nDone.\n";
    return identical ? 0 : 1;
}

} // namespace quindle
