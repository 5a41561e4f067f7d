#include "apps/AppsWindowModel.h"

#include "core/BackgroundPool.h"
#include "core/WhenFinished.h"

#include <QFileInfo>
#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

const QList<int> &AppsWindowModel::minDaysChoices() {
    static const QList<int> choices{30, 60, 90, 180, 365};
    return choices;
}

AppsWindowModel::AppsWindowModel(AppRelocator &relocator, std::function<QString()> nvmePath,
                                 std::function<AppScan()> scanner, QObject *parent)
    : QObject(parent)
    , m_relocator(relocator)
    , m_nvmePath(std::move(nvmePath))
    , m_scanner(scanner ? std::move(scanner) : std::function<AppScan()>([] {
        return discoverApps(currentDiscoveryScope());
    })) {
    // A finished move changes what the roots hold.
    connect(&relocator, &AppRelocator::movedChanged, this, &AppsWindowModel::rescan);
    connect(&relocator, &AppRelocator::jobsChanged, this, &AppsWindowModel::changed);
}

AppsWindowModel::~AppsWindowModel() = default;

QDateTime AppsWindowModel::now() const {
    return m_now.value_or(QDateTime::currentDateTime());
}

void AppsWindowModel::rescan() {
    m_scanning = true;
    const int serial = ++m_scanSerial;
    Q_EMIT changed();
    whenFinished(QtConcurrent::run(blockingPool(), m_scanner), this,
                 [this, serial](const AppScan &scan) {
                     if (serial != m_scanSerial)
                         return; // a newer scan is under way
                     m_scan = scan;
                     m_scanning = false;
                     QSet<QString> known;
                     for (const AppEntry &entry : m_scan.entries)
                         known.insert(entry.id);
                     m_selection.intersect(known);
                     Q_EMIT changed();
                 });
}

AppSafetyVerdict AppsWindowModel::verdictFor(const AppEntry &entry) const {
    return evaluate(entry, m_scan.facts, now());
}

QList<AppEntry> AppsWindowModel::filteredEntries() const {
    QList<AppEntry> shown;
    const QDateTime at = now();
    for (const AppEntry &entry : m_scan.entries) {
        if (entry.isMovedSymlink || (m_hideRunning && entry.isRunning))
            continue;
        const std::optional<qint64> days = entry.daysSinceLastUse(at);
        if (m_minDays >= 1 && days && *days < m_minDays)
            continue;
        shown << entry;
    }
    return shown;
}

void AppsWindowModel::setMinDaysFilter(int days) {
    m_minDays = days;
    Q_EMIT changed();
}

void AppsWindowModel::setHideRunning(bool hide) {
    m_hideRunning = hide;
    Q_EMIT changed();
}

void AppsWindowModel::setTab(Tab tab) {
    m_tab = tab;
    Q_EMIT changed();
}

void AppsWindowModel::setSelected(const QString &id, bool selected) {
    if (selected)
        m_selection.insert(id);
    else
        m_selection.remove(id);
    Q_EMIT changed();
}

void AppsWindowModel::selectAllEligible() {
    m_selection.clear();
    for (const AppEntry &entry : filteredEntries())
        if (verdictFor(entry).kind != AppSafetyVerdict::Kind::Blocked)
            m_selection.insert(entry.id);
    Q_EMIT changed();
}

qint64 AppsWindowModel::selectedBytes() const {
    qint64 total = 0;
    for (const AppEntry &entry : filteredEntries())
        if (m_selection.contains(entry.id))
            total += entry.sizeBytes;
    return total;
}

QString AppsWindowModel::footerText() const {
    qsizetype count = 0;
    for (const AppEntry &entry : filteredEntries())
        count += m_selection.contains(entry.id) ? 1 : 0;
    if (count == 0)
        return QStringLiteral("No apps selected.");
    return QStringLiteral("%1 app%2 selected · %3 will be freed on internal.")
        .arg(count)
        .arg(count == 1 ? QString() : QStringLiteral("s"))
        .arg(sizeText(selectedBytes()));
}

bool AppsWindowModel::nvmeAvailable() const {
    const QString path = m_nvmePath();
    return !path.isEmpty() && QFileInfo::exists(path);
}

QString AppsWindowModel::moveBlockedText() {
    return QStringLiteral("NVMe is not mounted. Plug in the drive to enable.");
}

void AppsWindowModel::moveSelected() {
    const QString nvme = m_nvmePath();
    if (nvme.isEmpty()) {
        report(QStringLiteral("NVMe path unknown. Refresh the status and try again."));
        return;
    }
    for (const AppEntry &entry : filteredEntries()) {
        if (!m_selection.contains(entry.id))
            continue;
        const auto result = m_relocator.moveToNVMe(entry, nvme);
        if (const auto *error = std::get_if<AppRelocateError>(&result))
            m_errorToast = error->message();
    }
    m_selection.clear();
    Q_EMIT changed();
}

void AppsWindowModel::moveBack(const MovedApp &moved) {
    const auto result = m_relocator.moveBackFromNVMe(moved);
    if (const auto *error = std::get_if<AppRelocateError>(&result))
        report(error->message());
}

void AppsWindowModel::report(const QString &error) {
    m_errorToast = error;
    Q_EMIT changed();
}

void AppsWindowModel::dismissError() {
    m_errorToast.reset();
    Q_EMIT changed();
}

QString AppsWindowModel::movedSummary() const {
    qint64 total = 0;
    for (const MovedApp &app : m_relocator.moved())
        total += app.sizeBytes;
    const qsizetype count = m_relocator.moved().size();
    return QStringLiteral("%1 app%2 · %3 total on NVMe")
        .arg(count)
        .arg(count == 1 ? QString() : QStringLiteral("s"))
        .arg(sizeText(total));
}

std::optional<QString> AppsWindowModel::rootBanner() const {
    for (const AppEntry &entry : m_scan.entries)
        if (entry.rootNotWritable)
            return entry.accessProblem;
    return std::nullopt;
}

QString AppsWindowModel::sizeText(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString AppsWindowModel::emptyFilterTitle() {
    return QStringLiteral("No apps match the current filter");
}
QString AppsWindowModel::emptyFilterHint() {
    return QStringLiteral("Lower the 'older than' threshold or untick 'Hide running'.");
}
QString AppsWindowModel::noMovedTitle() {
    return QStringLiteral("No apps moved yet");
}
QString AppsWindowModel::noMovedHint() {
    return QStringLiteral("Move apps from the Available tab. They'll appear here with a 'Move "
                          "back' option.");
}

} // namespace quindle
