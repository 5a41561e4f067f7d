#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

namespace platform {
class VolumeWatcher;
}

// One element of the service's answer to `list-drives`. Keys keep the service's snake case.
struct Drive {
    QString name;
    QString path;
    QString filesystem;
    QString protocol;
    QString removable;
    QString location;
    QString device;
    QString uuid;
    qint64 free_mb = 0;
    qint64 total_mb = 0;
    bool is_current = false;
    bool has_marker = false;

    // Drives are told apart by where they are mounted.
    const QString &id() const { return path; }
    bool operator==(const Drive &) const = default;

    // Nothing when the text is not a JSON array; elements that fail to decode are skipped.
    static std::optional<QList<Drive>> decodeList(const QByteArray &json);
};

enum class DriveVerdict { Ok, Warn, Block };
std::optional<DriveVerdict> parseDriveVerdict(const QString &raw);

// The service's answer to `assess <path>`.
struct Assessment {
    DriveVerdict verdict = DriveVerdict::Ok;
    std::optional<QString> filesystem;
    std::optional<QString> protocol;
    std::optional<QString> removable;
    std::optional<QString> location;
    QStringList reasons;
    QStringList warnings;

    bool operator==(const Assessment &) const = default;
    static std::optional<Assessment> decode(const QByteArray &json);
};

// The service's answer to `benchmark <path>`: its figures and thresholds, in MB and MB/s.
struct Benchmark {
    qint64 size_mb = 0;
    qint64 write_mbps = 0;
    qint64 read_mbps = 0;
    qint64 min_read_mbps = 0;
    qint64 min_write_mbps = 0;
    qint64 warn_read_mbps = 0;
    qint64 warn_write_mbps = 0;
    DriveVerdict verdict = DriveVerdict::Ok;
    QStringList notes;

    bool operator==(const Benchmark &) const = default;
    static std::optional<Benchmark> decode(const QByteArray &json);
};

// "NVMe: looks good", "…: usable with warnings", "…: not suitable".
QString verdictTitle(const QString &driveName, DriveVerdict verdict);

// The selected drive's card.
struct DriveCard {
    struct Row {
        QString label;
        QString value;
        bool operator==(const Row &) const = default;
    };
    QString title;
    bool current = false; // shows the "CURRENT" badge
    QList<Row> rows;

    static DriveCard from(const Drive &drive);
    static inline const QString currentBadge = QStringLiteral("CURRENT");
};

// The speed test's figures against the service's thresholds, then its notes.
QStringList benchmarkLines(const Benchmark &benchmark);

// The "Choose Drive" window's state and rules; the window only shows them. Every call to the
// service runs in the background and comes back on the main thread; a result that no longer
// belongs to the selected drive is dropped.
class DriveSelectionModel : public QObject {
    Q_OBJECT
public:
    explicit DriveSelectionModel(QObject *parent = nullptr);

    // Lists the drives (on opening, "Rescan drives", and whenever a volume comes or goes), keeps
    // or makes a selection and assesses it.
    void load();
    void select(const QString &id);
    void runBenchmark();
    // "Use This Drive": asks first; the confirmation then commits.
    void askToSwitch();
    void cancelSwitch();
    void confirmSwitch();

    // Reloads on every mount and unmount the watcher reports.
    void followVolumes(platform::VolumeWatcher *watcher);

    const QList<Drive> &drives() const { return m_drives; }
    const QString &selectedID() const { return m_selectedID; }
    std::optional<Drive> selectedDrive() const;
    const std::optional<Assessment> &assessment() const { return m_assessment; }
    const std::optional<Benchmark> &benchmark() const { return m_benchmark; }
    const QString &benchmarkError() const { return m_benchmarkError; }
    bool isBenchmarking() const { return m_benchmarking; }
    bool isLoadingDrives() const { return m_loadingDrives; }
    const QString &assessingPath() const { return m_assessingPath; }
    bool isCommitting() const { return m_committing; }
    const QString &commitMessage() const { return m_commitMessage; }
    bool isConfirmingSwitch() const { return m_confirmingSwitch; }

    // "Use This Drive" is enabled: not for the current drive, not for a blocked one, and not
    // while a call that decides it is still running.
    bool canSwitch() const;
    bool canBenchmark() const;
    QString confirmationTitle() const;
    QString confirmationMessage() const;
    // A drive that is usable only with warnings gets a destructive confirm button.
    bool confirmIsDestructive() const;
    // The assessment's title; empty while there is none.
    QString verdictTitle() const;
    // "Inspecting drive…" while the assessment runs.
    QString detailPlaceholder() const;
    std::optional<DriveCard> selectedCard() const;
    // "Benchmark failed: …", or the figures of the last speed test of the selected drive.
    QStringList benchmarkText() const;

    static QString footerText();

public Q_SLOTS:
    void handleVolumeChange();

Q_SIGNALS:
    void changed();

private:
    void assessSelected();
    void commit();
    void applyDrives(QList<Drive> drives);

    QList<Drive> m_drives;
    QString m_selectedID;
    std::optional<Assessment> m_assessment;
    std::optional<Benchmark> m_benchmark;
    QString m_benchmarkError;
    QString m_benchmarkPath; // the drive the figures or the error belong to
    bool m_benchmarking = false;
    bool m_loadingDrives = false;
    bool m_reloadWanted = false;
    QString m_assessingPath;
    quint64 m_assessRun = 0; // only the latest assessment's answer is kept
    bool m_committing = false;
    QString m_commitMessage;
    bool m_confirmingSwitch = false;
};

} // namespace quindle
