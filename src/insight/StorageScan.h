#pragma once

#include "mover/ProcessRunner.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace quindle {

// One folder the scan measured.
struct ScanRow {
    int id = 0;
    QString path;
    QString label;
    qint64 sizeBytes = 0;
    bool actionable = false;
    bool operator==(const ScanRow &) const = default;
};

// The home folder measured by the service's scan-storage, its rows arriving while it runs.
class StorageScan : public QObject {
    Q_OBJECT
public:
    // A scan that ignores SIGTERM this long is killed, with every du it started.
    static constexpr std::chrono::seconds stopGrace{5};

    explicit StorageScan(QObject *parent = nullptr);
    ~StorageScan() override;

    // Ignored while a scan runs.
    void start();
    // SIGTERM to the scan's process group, SIGKILL after the grace; finished() follows.
    void cancel();

    // Reads one line of the stream; lines that are no row or progress are skipped.
    void ingest(const QByteArray &line);
    // Takes output as it was read: whole lines are ingested, a partial one waits for the rest.
    void feed(const QByteArray &chunk);

    const QList<ScanRow> &rows() const { return m_rows; } // largest first
    bool isRunning() const { return m_running; }
    const QString &phase() const { return m_phase; }
    qint64 totalBytes() const { return m_totalBytes; }
    int probedCount() const { return m_probed; }
    const std::optional<QString> &lastError() const { return m_lastError; }
    bool isDone() const { return m_phase == QLatin1String("done"); }

    // "12 paths found so far", or "Scan complete · 3.4 GB across 12 paths" once done.
    QString footerText() const;
    static QString startingText();
    static QString actionableHint();

Q_SIGNALS:
    void changed();
    // It started or ended.
    void runningChanged();
    void rowAdded(const quindle::ScanRow &row);
    void finished();

private:
    void conclude();

    std::unique_ptr<StreamedProcess> m_process;
    QByteArray m_pending;
    QList<ScanRow> m_rows;
    int m_nextId = 1;
    bool m_running = false;
    QString m_phase;
    qint64 m_totalBytes = 0;
    int m_probed = 0;
    std::optional<QString> m_lastError;
};

// A size in decimal units with one decimal ("3.4 GB"), the byte count below 1000 bytes.
QString scanSizeText(qint64 bytes);

} // namespace quindle
