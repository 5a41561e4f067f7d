#pragma once

#include "insight/ChartTimeRange.h"

#include <QDateTime>
#include <QWidget>

#include <optional>

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace quindle {
class HistoryStore;
}

namespace quindle::ui {

// The daily snapshots drawn: free space and what moving saved over the chosen time range (drag
// across either to zoom), used against free space per disk and the largest folders.
class ChartsWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChartsWindow(HistoryStore &history, QWidget *parent = nullptr);

    void setTimeRange(ChartTimeRange range);
    ChartTimeRange timeRange() const { return m_range; }
    // A drag across a time chart sets both ends; clearing returns to the whole range.
    void setZoom(const QDateTime &start, const QDateTime &end);
    void clearZoom();
    const std::optional<QDateTime> &zoomStart() const { return m_zoomStart; }
    const std::optional<QDateTime> &zoomEnd() const { return m_zoomEnd; }
    // What the range picker's clock says is now; tests fix it.
    void setNow(const QDateTime &now) { m_now = now; }

private:
    void rebuild();
    // A drag's zoom on a time chart becomes the window's zoom, for both time charts.
    void followZoom(QChartView *view);

    HistoryStore &m_history;
    ChartTimeRange m_range = ChartTimeRange::mo1;
    std::optional<QDateTime> m_zoomStart;
    std::optional<QDateTime> m_zoomEnd;
    std::optional<QDateTime> m_now;
    QDateTime m_shownFirst; // the first and last snapshot the time charts draw
    QDateTime m_shownLast;
    bool m_rebuilding = false;
    QComboBox *m_picker = nullptr;
    QPushButton *m_resetZoom = nullptr;
    QLabel *m_rangeSummary = nullptr;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_notEnough = nullptr;
    QWidget *m_charts = nullptr;
    QChartView *m_freeView = nullptr;
    QChartView *m_savedView = nullptr;
    QChartView *m_usedView = nullptr;
    QChartView *m_topView = nullptr;
};

} // namespace quindle::ui
