#include "insight/DriveSelection.h"

#include "core/JsonFields.h"
#include "core/ServiceBridge.h"
#include "core/ServiceScripts.h"
#include "core/VolumeSpace.h"
#include "core/WhenFinished.h"
#include "platform/VolumeWatcher.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quindle {

namespace {

QLatin1String key(const char *name) {
    return QLatin1String(name);
}

// A present array whose elements are all strings; anything else fails the decode.
std::optional<QStringList> stringArray(const QJsonObject &object, const char *name) {
    const QJsonValue value = object.value(key(name));
    if (!value.isArray())
        return std::nullopt;
    QStringList strings;
    for (const QJsonValue &element : value.toArray()) {
        if (!element.isString())
            return std::nullopt;
        strings << element.toString();
    }
    return strings;
}

std::optional<QJsonObject> objectOf(const QByteArray &json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<Drive> decodeDrive(const QJsonObject &object) {
    JsonFields f(object);
    Drive drive;
    drive.name = f.requiredString(key("name"));
    drive.path = f.requiredString(key("path"));
    drive.filesystem = f.requiredString(key("filesystem"));
    drive.protocol = f.requiredString(key("protocol"));
    drive.removable = f.requiredString(key("removable"));
    drive.location = f.requiredString(key("location"));
    drive.device = f.requiredString(key("device"));
    drive.uuid = f.requiredString(key("uuid"));
    drive.free_mb = f.requiredInteger(key("free_mb"));
    drive.total_mb = f.requiredInteger(key("total_mb"));
    drive.is_current = f.requiredBool(key("is_current"));
    drive.has_marker = f.requiredBool(key("has_marker"));
    return f.ok() && !drive.path.isEmpty() ? std::optional(drive) : std::nullopt;
}

// The listing's megabytes are df's: 1024 × 1024 bytes.
constexpr qint64 kBytesPerMB = 1024 * 1024;

} // namespace

std::optional<DriveVerdict> parseDriveVerdict(const QString &raw) {
    if (raw == QLatin1String("ok"))
        return DriveVerdict::Ok;
    if (raw == QLatin1String("warn"))
        return DriveVerdict::Warn;
    if (raw == QLatin1String("block"))
        return DriveVerdict::Block;
    return std::nullopt;
}

std::optional<QList<Drive>> Drive::decodeList(const QByteArray &json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isArray())
        return std::nullopt;
    QList<Drive> drives;
    for (const QJsonValue &element : document.array()) {
        if (const std::optional<Drive> drive = decodeDrive(element.toObject()))
            drives << *drive;
    }
    return drives;
}

std::optional<Assessment> Assessment::decode(const QByteArray &json) {
    const std::optional<QJsonObject> object = objectOf(json);
    if (!object)
        return std::nullopt;
    JsonFields f(*object);
    Assessment assessment;
    const std::optional<DriveVerdict> verdict =
        f.requiredEnum<DriveVerdict>(key("verdict"), parseDriveVerdict);
    assessment.filesystem = f.optionalString(key("filesystem"));
    assessment.protocol = f.optionalString(key("protocol"));
    assessment.removable = f.optionalString(key("removable"));
    assessment.location = f.optionalString(key("location"));
    const std::optional<QStringList> reasons = stringArray(*object, "reasons");
    const std::optional<QStringList> warnings = stringArray(*object, "warnings");
    if (!f.ok() || !verdict || !reasons || !warnings)
        return std::nullopt;
    assessment.verdict = *verdict;
    assessment.reasons = *reasons;
    assessment.warnings = *warnings;
    return assessment;
}

std::optional<Benchmark> Benchmark::decode(const QByteArray &json) {
    const std::optional<QJsonObject> object = objectOf(json);
    if (!object)
        return std::nullopt;
    JsonFields f(*object);
    Benchmark benchmark;
    benchmark.size_mb = f.requiredInteger(key("size_mb"));
    benchmark.write_mbps = f.requiredInteger(key("write_mbps"));
    benchmark.read_mbps = f.requiredInteger(key("read_mbps"));
    benchmark.min_read_mbps = f.requiredInteger(key("min_read_mbps"));
    benchmark.min_write_mbps = f.requiredInteger(key("min_write_mbps"));
    benchmark.warn_read_mbps = f.requiredInteger(key("warn_read_mbps"));
    benchmark.warn_write_mbps = f.requiredInteger(key("warn_write_mbps"));
    const std::optional<DriveVerdict> verdict =
        f.requiredEnum<DriveVerdict>(key("verdict"), parseDriveVerdict);
    const std::optional<QStringList> notes = stringArray(*object, "notes");
    if (!f.ok() || !verdict || !notes)
        return std::nullopt;
    benchmark.verdict = *verdict;
    benchmark.notes = *notes;
    return benchmark;
}

QString verdictTitle(const QString &driveName, DriveVerdict verdict) {
    switch (verdict) {
    case DriveVerdict::Ok:
        return driveName + QStringLiteral(": looks good");
    case DriveVerdict::Warn:
        return driveName + QStringLiteral(": usable with warnings");
    case DriveVerdict::Block:
        break;
    }
    return driveName + QStringLiteral(": not suitable");
}

DriveCard DriveCard::from(const Drive &drive) {
    DriveCard card;
    card.title = drive.name;
    card.current = drive.is_current;
    card.rows = {
        {QStringLiteral("Mount path"), drive.path},
        {QStringLiteral("Filesystem"), drive.filesystem},
        {QStringLiteral("Protocol"), drive.protocol},
        {QStringLiteral("Location"), drive.location},
        {QStringLiteral("Device"), drive.device},
        {QStringLiteral("Space"), sizeText(drive.free_mb * kBytesPerMB) +
                                      QStringLiteral(" free / ") +
                                      sizeText(drive.total_mb * kBytesPerMB)},
    };
    return card;
}

QStringList benchmarkLines(const Benchmark &benchmark) {
    QStringList lines{
        QStringLiteral("Read: %1 MB/s (minimum %2 MB/s, slow below %3 MB/s)")
            .arg(benchmark.read_mbps)
            .arg(benchmark.min_read_mbps)
            .arg(benchmark.warn_read_mbps),
        QStringLiteral("Write: %1 MB/s (minimum %2 MB/s, slow below %3 MB/s)")
            .arg(benchmark.write_mbps)
            .arg(benchmark.min_write_mbps)
            .arg(benchmark.warn_write_mbps),
    };
    return lines + benchmark.notes;
}

DriveSelectionModel::DriveSelectionModel(QObject *parent)
    : QObject(parent) {}

void DriveSelectionModel::followVolumes(platform::VolumeWatcher *watcher) {
    connect(watcher, &platform::VolumeWatcher::volumeMounted, this,
            &DriveSelectionModel::handleVolumeChange);
    connect(watcher, &platform::VolumeWatcher::volumeUnmounted, this,
            &DriveSelectionModel::handleVolumeChange);
}

void DriveSelectionModel::handleVolumeChange() {
    load();
}

std::optional<Drive> DriveSelectionModel::selectedDrive() const {
    for (const Drive &drive : m_drives) {
        if (drive.id() == m_selectedID)
            return drive;
    }
    return std::nullopt;
}

void DriveSelectionModel::load() {
    if (m_loadingDrives) {
        // A drive came or went while listing: the answer on its way may predate it.
        m_reloadWanted = true;
        return;
    }
    m_loadingDrives = true;
    m_reloadWanted = false;
    Q_EMIT changed();
    whenFinished(
        ServiceBridge::runProcess(service::program(), service::arguments(service::listDrives),
                                  service::subCommandTimeout),
        this, [this](const ProcessOutput &result) {
            m_loadingDrives = false;
            if (result.status == 0) {
                if (std::optional<QList<Drive>> drives = Drive::decodeList(result.output.toUtf8()))
                    applyDrives(std::move(*drives));
            }
            Q_EMIT changed();
            if (m_reloadWanted)
                load();
        });
}

void DriveSelectionModel::applyDrives(QList<Drive> drives) {
    m_drives = std::move(drives);
    if (!selectedDrive()) {
        const auto current = std::find_if(m_drives.cbegin(), m_drives.cend(),
                                          [](const Drive &drive) { return drive.is_current; });
        const QString previous = m_selectedID;
        m_selectedID = current != m_drives.cend() ? current->id()
                       : m_drives.isEmpty()       ? QString()
                                                  : m_drives.first().id();
        if (m_selectedID != previous) {
            m_benchmark.reset();
            m_benchmarkError.clear();
        }
    }
    assessSelected();
}

void DriveSelectionModel::select(const QString &id) {
    if (id == m_selectedID)
        return;
    m_selectedID = id;
    m_confirmingSwitch = false;
    m_benchmark.reset();
    m_benchmarkError.clear();
    assessSelected();
    Q_EMIT changed();
}

void DriveSelectionModel::assessSelected() {
    m_assessment.reset();
    const std::optional<Drive> drive = selectedDrive();
    if (!drive) {
        m_assessingPath.clear();
        return;
    }
    const QString path = drive->path;
    m_assessingPath = path;
    const quint64 run = ++m_assessRun;
    whenFinished(
        ServiceBridge::runProcess(service::program(), service::arguments(service::assess, {path}),
                                  service::subCommandTimeout),
        this, [this, run](const ProcessOutput &result) {
            if (run != m_assessRun)
                return; // the selection moved on, or the same drive is being assessed again
            m_assessingPath.clear();
            m_assessment =
                result.status == 0 ? Assessment::decode(result.output.toUtf8()) : std::nullopt;
            Q_EMIT changed();
        });
}

bool DriveSelectionModel::canBenchmark() const {
    return selectedDrive().has_value() && !m_benchmarking;
}

void DriveSelectionModel::runBenchmark() {
    const std::optional<Drive> drive = selectedDrive();
    if (!drive || m_benchmarking)
        return;
    const QString path = drive->path;
    m_benchmarking = true;
    m_benchmark.reset();
    m_benchmarkError.clear();
    m_benchmarkPath = path;
    Q_EMIT changed();
    whenFinished(ServiceBridge::runProcess(service::program(),
                                           service::arguments(service::benchmark, {path}),
                                           service::subCommandTimeout),
                 this, [this, path](const ProcessOutput &result) {
                     m_benchmarking = false;
                     if (path == m_selectedID) {
                         m_benchmark = result.status == 0
                                           ? Benchmark::decode(result.output.toUtf8())
                                           : std::nullopt;
                         if (!m_benchmark) {
                             const QString output = result.output.trimmed();
                             m_benchmarkError =
                                 output.isEmpty()
                                     ? QStringLiteral("The speed test ended with status %1.")
                                           .arg(result.status)
                                     : output;
                         }
                     }
                     Q_EMIT changed();
                 });
}

bool DriveSelectionModel::canSwitch() const {
    const std::optional<Drive> drive = selectedDrive();
    if (!drive || drive->is_current || m_committing || !m_assessingPath.isEmpty())
        return false;
    return !m_assessment || m_assessment->verdict != DriveVerdict::Block;
}

void DriveSelectionModel::askToSwitch() {
    if (!canSwitch())
        return;
    m_confirmingSwitch = true;
    Q_EMIT changed();
}

void DriveSelectionModel::cancelSwitch() {
    if (!m_confirmingSwitch)
        return;
    m_confirmingSwitch = false;
    Q_EMIT changed();
}

void DriveSelectionModel::confirmSwitch() {
    if (!m_confirmingSwitch)
        return;
    m_confirmingSwitch = false;
    commit();
}

void DriveSelectionModel::commit() {
    // The same rules as canSwitch(), except that a re-assessment started after the person
    // confirmed does not silently swallow the switch.
    const std::optional<Drive> drive = selectedDrive();
    if (!drive || drive->is_current || m_committing ||
        (m_assessment && m_assessment->verdict == DriveVerdict::Block)) {
        Q_EMIT changed();
        return;
    }
    m_committing = true;
    m_commitMessage.clear();
    Q_EMIT changed();
    whenFinished(ServiceBridge::runProcess(service::program(),
                                           service::arguments(service::selectDrive, {drive->path}),
                                           service::subCommandTimeout),
                 this, [this](const ProcessOutput &result) {
                     m_committing = false;
                     m_commitMessage = result.output.trimmed();
                     if (m_commitMessage.isEmpty() && result.status != 0)
                         m_commitMessage = QStringLiteral("The drive was not switched: the service "
                                                          "ended with status %1.")
                                               .arg(result.status);
                     Q_EMIT changed();
                     load();
                 });
}

QString DriveSelectionModel::confirmationTitle() const {
    const std::optional<Drive> drive = selectedDrive();
    return QStringLiteral("Use ") + (drive ? drive->name : QString()) +
           QStringLiteral(" as the managed external drive?");
}

QString DriveSelectionModel::confirmationMessage() const {
    QStringList lines{
        QStringLiteral("This rewrites ~/.quindle/quindle.conf to point at the selected drive.")};
    if (m_assessment && !m_assessment->reasons.isEmpty())
        lines << QStringLiteral("Issues:") << m_assessment->reasons;
    if (m_assessment && !m_assessment->warnings.isEmpty())
        lines << QStringLiteral("Warnings:") << m_assessment->warnings;
    if (m_benchmark && !m_benchmark->notes.isEmpty())
        lines << QStringLiteral("Speed notes:") << m_benchmark->notes;
    lines << QStringLiteral("After switching, run 2-prep-nvme.sh on the new drive to create the "
                            "folder layout.");
    return lines.join(QLatin1Char('\n'));
}

bool DriveSelectionModel::confirmIsDestructive() const {
    return m_assessment && m_assessment->verdict == DriveVerdict::Warn;
}

QString DriveSelectionModel::verdictTitle() const {
    const std::optional<Drive> drive = selectedDrive();
    if (!drive || !m_assessment)
        return {};
    return quindle::verdictTitle(drive->name, m_assessment->verdict);
}

QString DriveSelectionModel::detailPlaceholder() const {
    return m_assessingPath.isEmpty() ? QString() : QStringLiteral("Inspecting drive…");
}

std::optional<DriveCard> DriveSelectionModel::selectedCard() const {
    const std::optional<Drive> drive = selectedDrive();
    if (!drive)
        return std::nullopt;
    return DriveCard::from(*drive);
}

QStringList DriveSelectionModel::benchmarkText() const {
    if (m_benchmarkPath != m_selectedID)
        return {};
    if (!m_benchmarkError.isEmpty())
        return {QStringLiteral("Benchmark failed: ") + m_benchmarkError};
    return m_benchmark ? benchmarkLines(*m_benchmark) : QStringList();
}

QString DriveSelectionModel::footerText() {
    return QStringLiteral("Switching drives will rewrite ~/.quindle/quindle.conf");
}

} // namespace quindle
