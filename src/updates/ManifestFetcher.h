#pragma once

#include "updates/ManifestRequest.h"
#include "updates/ManifestV2.h"

#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPromise>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

namespace quindle {

// The update manifest as this run of Quindle knows it: the cached copy at first, the fetched one
// once a refresh succeeds. Lives on the main thread; every change is announced by changed().
class ManifestFetcher : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QUrl address;
        QByteArray signingKey; // empty: manifests are accepted unsigned
        FetchLimits limits{std::chrono::seconds(15), std::chrono::seconds(15)};

        // The build's address and key.
        static Settings fromBuild();
    };

    // Publishes the cached manifest, if any, without checking its signature: it was checked
    // when it was fetched.
    explicit ManifestFetcher(QObject *parent = nullptr);
    explicit ManifestFetcher(Settings settings, QObject *parent = nullptr);

    const std::optional<ManifestV2> &manifest() const { return m_manifest; }
    bool inFlight() const { return m_running != nullptr; }
    // When the last fetch ended, successful or not.
    const std::optional<QDateTime> &lastChecked() const { return m_lastChecked; }
    // Why the last fetch failed; nothing after a success.
    const std::optional<QString> &lastError() const { return m_lastError; }
    // A fetch in this run succeeded; the cached copy does not count.
    bool hasFreshManifest() const { return m_hasFreshManifest; }
    // A manifest is known and names a version newer than this build's.
    bool updateAvailable() const;

    // One fetch. The future finishes once the outcome is published; a call while a fetch runs
    // returns that fetch's future and sends nothing.
    QFuture<void> refresh();

Q_SIGNALS:
    void changed();

private:
    void complete(const FetchReply &reply);
    // Publishes the manifest in `body` and caches it, or says why it is refused.
    std::optional<QString> accept(const QByteArray &body);

    Settings m_settings;
    QNetworkAccessManager m_network;
    std::optional<ManifestV2> m_manifest;
    std::optional<QDateTime> m_lastChecked;
    std::optional<QString> m_lastError;
    bool m_hasFreshManifest = false;
    std::shared_ptr<QPromise<void>> m_running;
};

} // namespace quindle
