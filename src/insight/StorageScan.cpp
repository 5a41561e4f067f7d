#include "insight/StorageScan.h"

#include "core/ServiceScripts.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <utility>

namespace quindle {

namespace {

// Qt keeps a JSON integer exact to 64 bits; a fraction or a text is no count.
qint64 integerOf(const QJsonValue &value) {
    return value.isDouble() ? value.toInteger() : 0;
}

} // namespace

StorageScan::StorageScan(QObject *parent)
    : QObject(parent) {}

StorageScan::~StorageScan() = default;

void StorageScan::start() {
    if (m_running)
        return;
    m_rows.clear();
    m_pending.clear();
    m_totalBytes = 0;
    m_probed = 0;
    m_lastError.reset();
    m_phase = QStringLiteral("started");
    m_running = true;

    m_process = std::make_unique<StreamedProcess>();
    StreamedProcess *process = m_process.get();
    connect(process, &StreamedProcess::standardOutputChunk, this, &StorageScan::feed);
    connect(process, &StreamedProcess::finished, this, [this] { conclude(); });
    StreamedProcess::Options options;
    options.chunks = true;
    options.grace = stopGrace;
    options.endsWithParent = true;
    if (!process->start(service::program(), service::arguments(service::scanStorage), options)) {
        m_lastError = QStringLiteral("Couldn't launch scan: ") + process->errorString();
        m_running = false;
        Q_EMIT changed();
        Q_EMIT finished();
        return;
    }
    Q_EMIT changed();
    Q_EMIT runningChanged();
}

void StorageScan::cancel() {
    if (m_process && m_running)
        m_process->terminate();
}

void StorageScan::feed(const QByteArray &chunk) {
    m_pending += chunk;
    qsizetype start = 0;
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n', start)) {
        ingest(m_pending.mid(start, end - start));
        start = end + 1;
    }
    m_pending.remove(0, start);
}

void StorageScan::ingest(const QByteArray &line) {
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    if (object.isEmpty())
        return;
    if (object.contains(QLatin1String("phase"))) {
        m_phase = object.value(QLatin1String("phase")).toString();
        if (isDone()) {
            m_totalBytes = integerOf(object.value(QLatin1String("total_bytes")));
            m_probed = static_cast<int>(integerOf(object.value(QLatin1String("probed"))));
        }
        Q_EMIT changed();
        return;
    }
    const QJsonValue path = object.value(QLatin1String("path"));
    const QJsonValue label = object.value(QLatin1String("label"));
    const QJsonValue size = object.value(QLatin1String("size_bytes"));
    if (!path.isString() || !label.isString() || !size.isDouble())
        return;
    const ScanRow row{m_nextId++, path.toString(), label.toString(), integerOf(size),
                      object.value(QLatin1String("actionable")).toBool()};
    const auto place =
        std::upper_bound(m_rows.begin(), m_rows.end(), row, [](const ScanRow &a, const ScanRow &b) {
            return a.sizeBytes > b.sizeBytes;
        });
    m_rows.insert(place, row);
    Q_EMIT rowAdded(row);
    Q_EMIT changed();
}

void StorageScan::conclude() {
    // A last line without its line feed still counts.
    if (!m_pending.isEmpty())
        ingest(std::exchange(m_pending, {}));
    m_running = false;
    m_process.release()->deleteLater();
    Q_EMIT changed();
    Q_EMIT runningChanged();
    Q_EMIT finished();
}

QString StorageScan::footerText() const {
    if (isDone())
        return QStringLiteral("Scan complete · %1 across %2 paths")
            .arg(scanSizeText(m_totalBytes))
            .arg(m_rows.size());
    return QStringLiteral("%1 paths found so far").arg(m_rows.size());
}

QString StorageScan::startingText() {
    return QStringLiteral("Starting scan…");
}

QString StorageScan::actionableHint() {
    return QStringLiteral(
        "Rows marked ACTIONABLE can be moved or cleaned via the popover's Free Up Space.");
}

QString scanSizeText(qint64 bytes) {
    if (bytes < 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    static const char *const units[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes) / 1000.0;
    int unit = 0;
    while (value >= 999.95 && unit < 4) {
        value /= 1000.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

} // namespace quindle
