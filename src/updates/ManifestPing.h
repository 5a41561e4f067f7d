#pragma once

#include "updates/ManifestRequest.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace quindle {

// The launch splash's look at the network: the primary manifest address, then the fallback,
// each within its own limits; the first JSON object either answers is cached for the fetcher to
// read. Verified first when the build has a signing key, so a refused body never reaches the
// cache.
class ManifestPing : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QUrl primary;
        QUrl fallback;
        QByteArray signingKey;
        FetchLimits limits;
    };

    explicit ManifestPing(Settings settings, QObject *parent = nullptr);
    ~ManifestPing() override;

    // True once a manifest was cached. Runs once; later calls return the same future.
    QFuture<bool> run();
    // Drops the request under way; the future then finishes false.
    void cancel();

private:
    QFuture<bool> fetch(const QString &label, const QUrl &address);
    // Checks and caches one reply; false when it does not count.
    bool accept(const QString &label, const QUrl &address, const FetchReply &reply,
                qint64 elapsedMs);

    Settings m_settings;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::optional<QFuture<bool>> m_run;
    bool m_cancelled = false;
};

} // namespace quindle
