#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quindle {

// The service's answer to `nvme-info`. Keys keep the service's snake case.
struct NVMeInfo {
    QString mount_path;
    bool mounted = false;
    bool marker_ok = false;
    QString filesystem;
    QString volume_uuid;
    QString device;
    std::optional<qint64> free_gb;
    std::optional<qint64> total_gb;
    QString marker_initialized;
    QString marker_host;
    bool fstab_pin = false;
    qint64 internal_free_gb = 0;
    qint64 internal_total_gb = 0;

    bool operator==(const NVMeInfo &) const = default;

    // Nothing when the text is not JSON or a required key is missing or mistyped.
    static std::optional<NVMeInfo> decode(const QByteArray &json);
};

// What the drive inspector shows for an NVMeInfo, independent of any widget.
struct NVMeInspection {
    enum class Tone { Bad, Good, Warning }; // red cross, green shield, orange warning

    struct Row {
        QString label;
        QString value;
        bool monospace = false;
        bool operator==(const Row &) const = default;
    };

    Tone tone = Tone::Bad;
    QString headline;
    QString subtitle;
    QList<Row> rows;

    static NVMeInspection from(const NVMeInfo &info);
};

} // namespace quindle
