#include "updates/UpdateDownload.h"

#include "updates/GuardedGet.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPromise>

#include <memory>

namespace quindle {

namespace {

using Outcome = std::optional<QString>;

QFuture<Outcome> finishedWith(Outcome outcome) {
    QPromise<Outcome> promise;
    promise.start();
    promise.addResult(std::move(outcome));
    promise.finish();
    return promise.future();
}

struct Transfer {
    QPromise<Outcome> promise;
    QFile file;
    std::optional<QString> writeError;

    // Appends what has arrived; a write that fails ends the transfer.
    void drain(QNetworkReply &reply) {
        if (!reply.isOpen())
            return; // aborted
        const QByteArray bytes = reply.readAll();
        if (writeError || bytes.isEmpty())
            return;
        if (file.write(bytes) != bytes.size()) {
            writeError = file.errorString();
            reply.abort();
        }
    }
};

Outcome describe(const QNetworkReply &reply, const Transfer &transfer) {
    if (transfer.writeError)
        return transfer.writeError;
    const FetchReply result = outcome(reply);
    if (result.failure != FetchReply::Failure::None)
        return result.error;
    if (result.httpStatus < 200 || result.httpStatus > 299)
        return QStringLiteral("Server returned HTTP %1").arg(result.httpStatus);
    return std::nullopt;
}

} // namespace

QFuture<Outcome> downloadToFile(QNetworkAccessManager &network, const QUrl &address,
                                const QString &path, const HttpHeaders &headers,
                                std::chrono::milliseconds idle,
                                std::function<void(double)> progress) {
    auto transfer = std::make_shared<Transfer>();
    transfer->file.setFileName(path);
    if (!transfer->file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return finishedWith(QStringLiteral("Couldn't create temp file at ") + path);
    const std::variant<QNetworkReply *, QString> started =
        guardedGet(network, address, headers, idle);
    if (const auto *refusal = std::get_if<QString>(&started))
        return finishedWith(*refusal);

    QNetworkReply *reply = std::get<QNetworkReply *>(started);
    transfer->promise.start();
    QFuture<Outcome> future = transfer->promise.future();
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [reply, transfer] { transfer->drain(*reply); });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [progress = std::move(progress)](qint64 received, qint64 total) {
                         if (total > 0 && progress)
                             progress(static_cast<double>(received) / static_cast<double>(total));
                     });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, transfer] {
        transfer->drain(*reply);
        if (!transfer->writeError && !transfer->file.flush())
            transfer->writeError = transfer->file.errorString();
        transfer->file.close();
        transfer->promise.addResult(describe(*reply, *transfer));
        transfer->promise.finish();
        reply->deleteLater();
    });
    return future;
}

} // namespace quindle
