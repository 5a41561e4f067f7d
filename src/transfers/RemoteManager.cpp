#include "transfers/RemoteManager.h"

#include "core/BackgroundPool.h"
#include "core/ServiceBridge.h"
#include "core/ServiceScripts.h"
#include "core/WhenFinished.h"
#include "platform/ChildProcess.h"
#include "transfers/CredentialSaver.h"
#include "transfers/RcloneClient.h"
#include "transfers/RemoteMetadata.h"
#include "transfers/SecretVault.h"

#include <QCollator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace quindle {

namespace {

ProcessOutput runHelper(const QString &subCommand, const QStringList &extra = {}) {
    return ServiceBridge::runProcessBlocking(service::program(),
                                             service::helperArguments(subCommand, extra),
                                             RemoteManager::helperTimeout);
}

template <typename T>
std::optional<T> helperResult(const QString &subCommand,
                              std::optional<T> (*decode)(const QByteArray &)) {
    const ProcessOutput output = runHelper(subCommand);
    if (output.status != 0)
        return std::nullopt;
    return decode(output.output.toUtf8());
}

void sortByName(QStringList &names) {
    // The C locale compares code points and ignores numeric mode: "b10" would come before "b9".
    const QLocale system = QLocale::system();
    QCollator collator(system.language() == QLocale::C ? QLocale(QLocale::English) : system);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), collator);
}

} // namespace

RemoteManager::RemoteManager(QObject *parent)
    : QObject(parent) {}

std::optional<Remote> RemoteManager::remote(const QString &name) const {
    const auto found = std::find_if(m_remotes.cbegin(), m_remotes.cend(),
                                    [&](const Remote &remote) { return remote.name == name; });
    return found == m_remotes.cend() ? std::nullopt : std::optional(*found);
}

QHash<QString, QString> RemoteManager::remoteTypes() const {
    return typesByName(m_remotes);
}

QHash<QString, QString> RemoteManager::typesByName(const QList<Remote> &remotes) {
    QHash<QString, QString> types;
    for (const Remote &remote : remotes)
        types.insert(remote.name, remote.type);
    return types;
}

void RemoteManager::refresh() {
    if (m_pendingRefreshes++ == 0) {
        m_loading = true;
        Q_EMIT loadingChanged();
    }
    struct Lists {
        std::optional<QList<Remote>> remotes;
        std::optional<QList<RemoteType>> types;
    };
    auto work = QtConcurrent::run(blockingPool(), [] { return Lists{readRemotes(), readTypes()}; });
    whenFinished(work, this, [this](const Lists &lists) {
        if (lists.remotes)
            m_remotes = *lists.remotes;
        if (lists.types)
            m_types = *lists.types;
        m_loaded = m_loaded || lists.remotes.has_value();
        if (--m_pendingRefreshes == 0) {
            m_loading = false;
            Q_EMIT loadingChanged();
        }
        Q_EMIT remotesChanged();
    });
}

QFuture<RemoteTestResult> RemoteManager::test(const QString &name) {
    return QtConcurrent::run(blockingPool(), [name] { return testBlocking(name); });
}

QFuture<std::optional<QString>> RemoteManager::remove(const QString &name) {
    auto work = QtConcurrent::run(blockingPool(), [name] { return removeBlocking(name); });
    return whenFinished(work, this, [this](const std::optional<QString> &error) {
        refresh();
        return error;
    });
}

QFuture<FolderListing> RemoteManager::listFolders(const QString &name, const QString &path) {
    return QtConcurrent::run(blockingPool(),
                             [name, path] { return listFoldersBlocking(name, path); });
}

std::optional<QList<Remote>> RemoteManager::readRemotes() {
    return helperResult<QList<Remote>>(service::remotesList, &decodeRemotes);
}

std::optional<QList<RemoteType>> RemoteManager::readTypes() {
    return helperResult<QList<RemoteType>>(service::remoteTypes, &decodeRemoteTypes);
}

RemoteTestResult RemoteManager::testBlocking(const QString &name) {
    const ProcessOutput output = runHelper(service::remoteTest, {name});
    if (std::optional<RemoteTestResult> result = decodeRemoteTest(output.output.toUtf8()))
        return *result;
    return {false, QStringLiteral("The connection test did not finish.")};
}

std::optional<QString> RemoteManager::removeBlocking(const QString &name) {
    const ProcessOutput output = runHelper(service::remoteRemove, {name});
    if (output.status != 0) {
        const QString detail = output.output.trimmed();
        return detail.isEmpty() ? QStringLiteral("The account could not be removed.")
                                : QStringLiteral("The account could not be removed: ") + detail;
    }
    // Its secrets and record would otherwise outlive it, and greet an account of the same name.
    SecretVault::purge(CredentialSaver::vaultScope(name));
    RemoteMetadata::forget(name);
    return std::nullopt;
}

FolderListing RemoteManager::listFoldersBlocking(const QString &name, const QString &path) {
    const QString rclone = RcloneClient::locate();
    if (rclone.isEmpty())
        return {};
    platform::ChildCommand command(rclone, {QStringLiteral("lsjson"), QStringLiteral("--dirs-only"),
                                            name + QLatin1Char(':') + path});
    command.environment.insert(QStringLiteral("RCLONE_ASK_PASSWORD"), QStringLiteral("false"));
    command.deadline = listingTimeout;
    const platform::ChildResult result = platform::ChildProcess::run(command);
    if (result.outcome == platform::ChildResult::Outcome::FailedToStart)
        return {{}, QStringLiteral("Could not run rclone: ") + result.startError};
    if (result.outcome == platform::ChildResult::Outcome::DeadlineHit)
        return {
            {},
            QStringLiteral("rclone did not answer within %1 seconds.").arg(listingTimeout.count())};
    // A missing folder prints a bare "[" and fails: that is an error, not an empty folder.
    if (!result.succeeded()) {
        const QString last = RcloneClient::lastErrorLine(result.error);
        return {{},
                last.isEmpty()
                    ? QStringLiteral("rclone exited with status %1.").arg(result.exitCode)
                    : last};
    }
    const QJsonDocument document = QJsonDocument::fromJson(result.output);
    if (!document.isArray())
        return {{}, QStringLiteral("rclone's folder list could not be read.")};
    FolderListing listing;
    for (const QJsonValue &value : document.array()) {
        const QJsonObject entry = value.toObject();
        if (entry.value(QStringLiteral("IsDir")).toBool())
            listing.folders.append(entry.value(QStringLiteral("Name")).toString());
    }
    sortByName(listing.folders);
    return listing;
}

QString RemoteManager::removalText() {
    return QStringLiteral("This deletes the rclone configuration for this account. Your data on "
                          "Google Drive / Google Photos is not affected. You can re-add the "
                          "account later.");
}

} // namespace quindle
