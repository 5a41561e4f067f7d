#include "updates/AutoUpdater.h"

#include "core/BackgroundPool.h"
#include "core/BuildSettings.h"
#include "core/Installer.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "platform/ChildProcess.h"
#include "updates/FileSha256.h"
#include "updates/UpdateDownload.h"
#include "updates/UpdatePackage.h"
#include "updates/UpdaterScript.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUuid>
#include <QtConcurrent>
#include <QtDebug>

namespace quindle {

namespace {

QString newId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool writableFolder(const QString &path) {
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

QString verificationFailure(const QString &expected, const QString &actual) {
    return QStringLiteral("Verification failed — the downloaded file's signature doesn't match "
                          "the manifest. Your network may be modifying the download. (Expected ") +
           expected.left(12) + QStringLiteral("…, got ") + actual.left(12) + QStringLiteral("…)");
}

} // namespace

AutoUpdater::Settings AutoUpdater::Settings::fromBuild() {
    Settings settings;
    settings.installFolder = Installer::installFolder();
    settings.canVerify = !build::manifestSigningKey().isEmpty();
    settings.parentPid = QCoreApplication::applicationPid();
    settings.downloadFolder = QDir::tempPath();
    settings.workPrefix = paths::updaterWorkPrefix();
    return settings;
}

AutoUpdater::AutoUpdater(QObject *parent)
    : AutoUpdater(Settings::fromBuild(), parent) {}

AutoUpdater::AutoUpdater(Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings)) {}

bool AutoUpdater::isRunning() const {
    switch (m_phase) {
    case Phase::Downloading:
    case Phase::Verifying:
    case Phase::Installing:
    case Phase::Relaunching:
        return true;
    case Phase::Idle:
    case Phase::Succeeded:
    case Phase::Failed:
        break;
    }
    return false;
}

std::optional<QString> AutoUpdater::refusal(const ManifestV2 &offer) const {
    const std::optional<QString> &folder = m_settings.installFolder;
    if (!folder || !writableFolder(*folder) || !writableFolder(QFileInfo(*folder).absolutePath()))
        return QStringLiteral("Quindle must be installed in ~/.local/opt/Quindle before "
                              "auto-update can run. Extract the new archive into ~/.local/opt "
                              "and relaunch.");
    if (!m_settings.canVerify)
        return QStringLiteral("This build has no update signing key, so it can't verify the "
                              "download. Use 'Open Download in Browser' instead.");
    if (!offer.downloadUrl)
        return QStringLiteral("The update manifest doesn't say where to download v%1.")
            .arg(offer.version);
    if (!offer.sha256 || offer.sha256->isEmpty())
        return QStringLiteral("The update manifest has no checksum for this download, so "
                              "Quindle can't verify it. Use 'Open Download in Browser' instead.");
    return std::nullopt;
}

void AutoUpdater::run(const ManifestV2 &offer) {
    if (isRunning())
        return;
    m_message.clear();
    if (const std::optional<QString> refused = refusal(offer))
        return fail(*refused);

    m_fraction = 0.0;
    m_archive = m_settings.downloadFolder + QStringLiteral("/quindle-update-") + newId() +
                QStringLiteral(".tar.gz");
    setPhase(Phase::Downloading);
    auto progress = [this](double fraction) {
        m_fraction = fraction;
        Q_EMIT changed();
    };
    whenFinished(downloadToFile(m_network, *offer.downloadUrl, m_archive,
                                productHeaders(Fingerprint::Omit), m_settings.idleLimit, progress),
                 this,
                 [this, sha256 = *offer.sha256,
                  version = offer.version](const std::optional<QString> &error) {
                     if (error)
                         return fail(QStringLiteral("Couldn't download the update: ") + *error);
                     verify(sha256, version);
                 });
}

void AutoUpdater::verify(const QString &expectedSha256, const QString &version) {
    setPhase(Phase::Verifying);
    using Checked = std::variant<UpdatePackage::Staged, QString>;
    auto check = [archive = m_archive, install = *m_settings.installFolder, expectedSha256, version,
                  limit = m_settings.startLimit]() -> Checked {
        const std::optional<QString> actual = sha256Hex(archive);
        if (!actual)
            return QStringLiteral("Couldn't read the downloaded file to verify it: ") +
                   QFile(archive).errorString();
        if (*actual != expectedSha256.toLower())
            return verificationFailure(expectedSha256.toLower(), *actual);
        auto staged = UpdatePackage::stage(archive, install, version, limit);
        if (const auto *refused = std::get_if<UpdatePackage::Refused>(&staged))
            return refused->message();
        return std::get<UpdatePackage::Staged>(staged);
    };
    whenFinished(QtConcurrent::run(blockingPool(), check), this, [this](const Checked &checked) {
        if (const auto *failure = std::get_if<QString>(&checked))
            return fail(*failure);
        const auto &staged = std::get<UpdatePackage::Staged>(checked);
        install(staged.stagingFolder, staged.build);
    });
}

void AutoUpdater::install(const QString &staging, const QString &build) {
    setPhase(Phase::Installing);
    const QString install = *m_settings.installFolder;
    UpdaterValues values;
    values.log = m_settings.workPrefix + newId() + QStringLiteral(".log");
    values.parent = m_settings.parentPid;
    values.archive = m_archive;
    values.staging = staging;
    values.build = build;
    values.install = install;
    values.previous =
        QFileInfo(install).absolutePath() + QStringLiteral("/.quindle-previous-") + newId();
    values.parentChecks = m_settings.parentChecks;
    values.startWaitSeconds = m_settings.startWaitSeconds;
    const QString script = m_settings.workPrefix + newId() + QStringLiteral(".sh");
    if (const std::optional<QString> error = writeUpdaterScript(script, values)) {
        QDir(staging).removeRecursively();
        return fail(QStringLiteral("Couldn't prepare the installer helper: ") + *error);
    }

    setPhase(Phase::Relaunching);
    const platform::ChildCommand helper(QStringLiteral("/bin/bash"), {script});
    if (const std::optional<QString> error = platform::startDetached(helper)) {
        QDir(staging).removeRecursively();
        return fail(QStringLiteral("Couldn't start the installer helper: ") + *error);
    }
    qInfo().noquote() << "Quindle: AutoUpdater succeeded — helper is taking over";
    QTimer::singleShot(m_settings.quitDelay, this, [this] {
        setPhase(Phase::Succeeded);
        Q_EMIT quitRequested();
    });
}

void AutoUpdater::removeLeftovers(const QString &installFolder, std::chrono::seconds age) {
    const QFileInfo install(installFolder);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-age.count());
    const QFileInfoList entries =
        QDir(install.absolutePath())
            .entryInfoList(
                {QStringLiteral(".quindle-update-*"), QStringLiteral(".quindle-previous-*")},
                QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries)
        if (entry.lastModified().toUTC() <= before)
            QDir(entry.filePath()).removeRecursively();
}

void AutoUpdater::setPhase(Phase phase) {
    m_phase = phase;
    Q_EMIT changed();
}

void AutoUpdater::fail(const QString &message) {
    m_message = message;
    qWarning().noquote() << "Quindle: update failed —" << message;
    setPhase(Phase::Failed);
}

QString updatePhaseTitle(AutoUpdater::Phase phase) {
    switch (phase) {
    case AutoUpdater::Phase::Downloading:
        return QStringLiteral("Download");
    case AutoUpdater::Phase::Verifying:
        return QStringLiteral("Verifying download…");
    case AutoUpdater::Phase::Installing:
        return QStringLiteral("Installing the new version…");
    case AutoUpdater::Phase::Relaunching:
        return QStringLiteral("Relaunching Quindle…");
    case AutoUpdater::Phase::Succeeded:
        return QStringLiteral("Done — restarting now.");
    case AutoUpdater::Phase::Failed:
        return QStringLiteral("The update couldn't finish");
    case AutoUpdater::Phase::Idle:
        break;
    }
    return {};
}

QString updatePhaseDetail(AutoUpdater::Phase phase, double fraction) {
    switch (phase) {
    case AutoUpdater::Phase::Downloading:
        return QStringLiteral("%1% complete").arg(static_cast<int>(fraction * 100));
    case AutoUpdater::Phase::Verifying:
        return QStringLiteral("Checking the file's signature against the manifest and unpacking "
                              "it beside the installed copy.");
    default:
        return {};
    }
}

} // namespace quindle
