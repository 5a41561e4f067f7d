#include "updates/ManifestV2.h"

#include "core/JsonFields.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace quindle {

namespace {

// Reads a nested part of the manifest, remembering the first problem like JsonFields does.
class ManifestReader {
public:
    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }

    void take(const JsonFields &fields) {
        if (m_error.isEmpty() && !fields.ok())
            m_error = fields.error();
    }
    void fail(const QString &message) {
        if (m_error.isEmpty())
            m_error = message;
    }

    QJsonObject object(const QJsonObject &parent, const QString &key) {
        const QJsonValue value = parent.value(key);
        if (value.isUndefined() || value.isNull())
            fail(QStringLiteral("The key “%1” is missing.").arg(key));
        else if (!value.isObject())
            fail(QStringLiteral("The key “%1” must be an object.").arg(key));
        return value.toObject();
    }

    std::optional<QUrl> url(JsonFields &fields, const QString &key) {
        const std::optional<QString> text = fields.optionalString(key);
        if (!text)
            return std::nullopt;
        QUrl url(*text, QUrl::StrictMode);
        if (!url.isValid()) {
            fail(QStringLiteral("The key “%1” must be an address.").arg(key));
            return std::nullopt;
        }
        return url;
    }

private:
    QString m_error;
};

TelemetryToggles decodeTelemetry(const QJsonObject &object, ManifestReader &reader) {
    JsonFields fields(object);
    TelemetryToggles toggles;
    toggles.crash = fields.requiredBool(QStringLiteral("crash"));
    toggles.perf = fields.requiredBool(QStringLiteral("perf"));
    toggles.events = fields.requiredBool(QStringLiteral("events"));
    toggles.perfSampleMinutes = fields.requiredInteger(QStringLiteral("perf_sample_minutes"));
    reader.take(fields);
    return toggles;
}

QMap<QString, bool> decodeFlags(const QJsonObject &object, ManifestReader &reader) {
    QMap<QString, bool> flags;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isBool())
            reader.fail(
                QStringLiteral("The feature flag “%1” must be true or false.").arg(it.key()));
        flags.insert(it.key(), it.value().toBool());
    }
    return flags;
}

ManifestBehaviour decodeBehaviour(const QJsonObject &object, ManifestReader &reader) {
    JsonFields fields(object);
    ManifestBehaviour behaviour;
    behaviour.autoCheckUpdates = fields.requiredBool(QStringLiteral("auto_check_updates"));
    behaviour.autoCheckUpdatesIntervalHours =
        fields.requiredInteger(QStringLiteral("auto_check_updates_interval_hours"));
    reader.take(fields);
    behaviour.telemetry =
        decodeTelemetry(reader.object(object, QStringLiteral("telemetry")), reader);
    behaviour.featureFlags =
        decodeFlags(reader.object(object, QStringLiteral("feature_flags")), reader);
    return behaviour;
}

ManifestSupport decodeSupport(const QJsonObject &object, ManifestReader &reader) {
    JsonFields fields(object);
    ManifestSupport support;
    support.email = fields.requiredString(QStringLiteral("email"));
    support.docsUrl = reader.url(fields, QStringLiteral("docs_url"));
    support.statusUrl = reader.url(fields, QStringLiteral("status_url"));
    reader.take(fields);
    return support;
}

} // namespace

std::variant<ManifestV2, QString> ManifestV2::decode(const QByteArray &body) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return parseError.errorString();
    if (!document.isObject())
        return QStringLiteral("The manifest is not a JSON object.");
    const QJsonObject root = document.object();

    ManifestReader reader;
    JsonFields fields(root);
    ManifestV2 manifest;
    manifest.version = fields.requiredString(QStringLiteral("version"));
    manifest.build = fields.optionalInteger(QStringLiteral("build"));
    manifest.releasedAt = fields.optionalString(QStringLiteral("released_at"));
    manifest.minSupportedAppVersion =
        fields.optionalString(QStringLiteral("min_supported_app_version"));
    manifest.deprecatedBelow = fields.optionalString(QStringLiteral("deprecated_below"));
    manifest.downloadUrl = reader.url(fields, QStringLiteral("download_url"));
    manifest.releaseNotesUrl = reader.url(fields, QStringLiteral("release_notes_url"));
    manifest.sha256 = fields.optionalString(QStringLiteral("sha256"));
    manifest.issuedAt = fields.optionalString(QStringLiteral("issued_at"));
    manifest.expiresAt = fields.optionalString(QStringLiteral("expires_at"));
    manifest.signature = fields.optionalString(QStringLiteral("signature"));
    reader.take(fields);
    manifest.behaviour = decodeBehaviour(reader.object(root, QStringLiteral("behaviour")), reader);
    manifest.support = decodeSupport(reader.object(root, QStringLiteral("support")), reader);
    if (!reader.ok())
        return reader.error();
    return manifest;
}

} // namespace quindle
