#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

namespace quindle {

struct TelemetryToggles {
    bool crash = false;
    bool perf = false;
    bool events = false;
    qint64 perfSampleMinutes = 0;
};

struct ManifestBehaviour {
    bool autoCheckUpdates = false;
    qint64 autoCheckUpdatesIntervalHours = 0;
    TelemetryToggles telemetry;
    QMap<QString, bool> featureFlags;
};

struct ManifestSupport {
    QString email;
    std::optional<QUrl> docsUrl;
    std::optional<QUrl> statusUrl;
};

// The update manifest the web service publishes: the newest version, where to get it, and what
// installed copies should do. Dates stay the text they were sent as; unknown keys are ignored.
struct ManifestV2 {
    QString version;
    std::optional<qint64> build;
    std::optional<QString> releasedAt;
    std::optional<QString> minSupportedAppVersion;
    std::optional<QString> deprecatedBelow;
    std::optional<QUrl> downloadUrl;
    std::optional<QUrl> releaseNotesUrl;
    std::optional<QString> sha256;
    ManifestBehaviour behaviour;
    ManifestSupport support;
    std::optional<QString> issuedAt;
    std::optional<QString> expiresAt;
    std::optional<QString> signature;

    // The manifest in `body`, or a sentence saying why it is not one.
    static std::variant<ManifestV2, QString> decode(const QByteArray &body);
};

} // namespace quindle
