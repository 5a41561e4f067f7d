#pragma once

#include "apps/AppDiscovery.h"
#include "apps/AppRelocator.h"
#include "apps/AppSafety.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace quindle {

// The Apps window's state and list logic: the scan, the filters, the selection and the moves
// it hands to the relocator. No widgets.
class AppsWindowModel : public QObject {
    Q_OBJECT
public:
    enum class Tab { Available, Moved };
    static constexpr int defaultMinDays = 30;
    static const QList<int> &minDaysChoices(); // 30, 60, 90, 180, 365

    // `nvmePath` gives the drive the service reports, empty when it knows none. `scanner` runs on
    // a worker; tests replace it.
    AppsWindowModel(AppRelocator &relocator, std::function<QString()> nvmePath,
                    std::function<AppScan()> scanner = {}, QObject *parent = nullptr);
    ~AppsWindowModel() override;

    AppRelocator &relocator() const { return m_relocator; }
    void rescan();
    bool isScanning() const { return m_scanning; }
    // A fixed "now" for the day counts (screenshots and tests); none: the clock.
    void setNow(std::optional<QDateTime> now) { m_now = std::move(now); }
    QDateTime now() const;

    const QList<AppEntry> &entries() const { return m_scan.entries; }
    const AppDesktopFacts &facts() const { return m_scan.facts; }
    AppSafetyVerdict verdictFor(const AppEntry &entry) const;
    // Not moved, then the filters: running hidden when asked, used in the last minDays hidden.
    QList<AppEntry> filteredEntries() const;

    int minDaysFilter() const { return m_minDays; }
    void setMinDaysFilter(int days);
    bool hideRunning() const { return m_hideRunning; }
    void setHideRunning(bool hide);
    Tab tab() const { return m_tab; }
    void setTab(Tab tab);

    const QSet<QString> &selection() const { return m_selection; }
    void setSelected(const QString &id, bool selected);
    void selectAllEligible();
    qint64 selectedBytes() const;
    // "3 apps selected · 1.2 GB will be freed on internal"
    QString footerText() const;

    // The drive can take apps: its path is known and exists. Otherwise `moveBlockedText()`.
    bool nvmeAvailable() const;
    static QString moveBlockedText();
    // Moves every selected, shown entry; a refusal becomes the error toast. Clears the selection.
    void moveSelected();
    void moveBack(const MovedApp &moved);
    const std::optional<QString> &errorToast() const { return m_errorToast; }
    void dismissError();

    // "2 apps · 3.4 GB total on NVMe"
    QString movedSummary() const;
    // The sentence of the first app an apps root's permissions block, or nothing.
    std::optional<QString> rootBanner() const;

    static QString sizeText(qint64 bytes);
    static QString emptyFilterTitle();
    static QString emptyFilterHint();
    static QString noMovedTitle();
    static QString noMovedHint();

Q_SIGNALS:
    void changed();

private:
    void report(const QString &error);

    AppRelocator &m_relocator;
    std::function<QString()> m_nvmePath;
    std::function<AppScan()> m_scanner;
    AppScan m_scan;
    bool m_scanning = false;
    int m_scanSerial = 0;
    std::optional<QDateTime> m_now;
    int m_minDays = defaultMinDays;
    bool m_hideRunning = true;
    Tab m_tab = Tab::Available;
    QSet<QString> m_selection;
    std::optional<QString> m_errorToast;
};

} // namespace quindle
