#include "ui/ChartsWindow.h"

#include "core/VolumeSpace.h"
#include "insight/HistoryStore.h"
#include "ui/Theme.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDir>
#include <QHBoxLayout>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QStackedWidget>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

namespace quindle::ui {

namespace {

// The chart follows the window's palette, so that it reads on a dark desktop too.
QChart *newChart(const QString &title, const QPalette &palette) {
    auto *chart = new QChart;
    chart->setTitle(title);
    chart->setTheme(palette.color(QPalette::Window).lightness() < 128 ? QChart::ChartThemeDark
                                                                      : QChart::ChartThemeLight);
    chart->setBackgroundBrush(palette.base());
    chart->setTitleBrush(palette.text());
    chart->legend()->setLabelColor(palette.color(QPalette::Text));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

void styleAxis(QAbstractAxis *axis, const QPalette &palette) {
    axis->setLabelsBrush(palette.text());
    axis->setTitleBrush(palette.text());
}

QDateTimeAxis *timeAxis(const QList<HistorySnapshot> &shown, const QPalette &palette) {
    auto *axis = new QDateTimeAxis;
    const bool withinDays = shown.first().ts.daysTo(shown.last().ts) < 3;
    axis->setFormat(withinDays ? QStringLiteral("MMM d HH:mm") : QStringLiteral("MMM d"));
    axis->setTickCount(std::min<int>(6, std::max<int>(2, static_cast<int>(shown.size()))));
    axis->setRange(shown.first().ts.toLocalTime(), shown.last().ts.toLocalTime());
    styleAxis(axis, palette);
    return axis;
}

QValueAxis *valueAxis(const QString &title, double top, const QPalette &palette) {
    auto *axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setRange(0, top > 0 ? top * 1.1 : 1);
    axis->setLabelFormat(QStringLiteral("%.0f"));
    axis->applyNiceNumbers();
    styleAxis(axis, palette);
    return axis;
}

qreal msecs(const HistorySnapshot &snapshot) {
    return static_cast<qreal>(snapshot.ts.toMSecsSinceEpoch());
}

// The snapshot nearest to a point in time on a time chart.
const HistorySnapshot &nearest(const QList<HistorySnapshot> &shown, qreal at) {
    const auto best = std::min_element(shown.cbegin(), shown.cend(), [at](auto &a, auto &b) {
        return std::abs(msecs(a) - at) < std::abs(msecs(b) - at);
    });
    return *best;
}

QString tooltipFor(const HistorySnapshot &s) {
    QString text = QLocale().toString(s.ts.toLocalTime(), QLocale::ShortFormat) +
                   QStringLiteral("\nInternal: %1 GB").arg(s.internalFreeGB);
    if (s.nvmeTotalGB > 0)
        text += QStringLiteral("\nNVMe: %1 GB").arg(s.nvmeFreeGB);
    return text;
}

// A line over the snapshots; a snapshot where `present` fails breaks it into pieces, each a
// series of its own, the first alone named in the legend.
QList<QLineSeries *> lines(const QList<HistorySnapshot> &shown, const QString &name,
                           const std::function<bool(const HistorySnapshot &)> &present,
                           const std::function<double(const HistorySnapshot &)> &value) {
    QList<QLineSeries *> pieces;
    QLineSeries *current = nullptr;
    for (const HistorySnapshot &snapshot : shown) {
        if (!present(snapshot)) {
            current = nullptr;
            continue;
        }
        if (!current) {
            current = new QLineSeries;
            current->setName(name);
            current->setPointsVisible(shown.size() < 60);
            pieces << current;
        }
        current->append(msecs(snapshot), value(snapshot));
    }
    return pieces;
}

void attach(QChart *chart, const QList<QLineSeries *> &pieces, QAbstractAxis *x, QAbstractAxis *y,
            const QColor &colour) {
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QLineSeries *series = pieces.at(i);
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
        QPen pen = series->pen();
        pen.setColor(colour);
        pen.setWidthF(2);
        series->setPen(pen);
        series->setColor(colour);
        if (i > 0)
            chart->legend()->markers(series).first()->setVisible(false);
    }
}

QChart *freeSpaceChart(const QList<HistorySnapshot> &shown, const QPalette &palette) {
    QChart *chart = newChart(QStringLiteral("Free space over time"), palette);
    qint64 top = 0;
    for (const HistorySnapshot &s : shown)
        top = std::max({top, s.internalFreeGB, s.nvmeTotalGB > 0 ? s.nvmeFreeGB : 0});
    auto *x = timeAxis(shown, palette);
    auto *y = valueAxis(QStringLiteral("GB free"), static_cast<double>(top), palette);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    attach(chart,
           lines(
               shown, QStringLiteral("Internal"), [](auto &) { return true; },
               [](auto &s) { return static_cast<double>(s.internalFreeGB); }),
           x, y, statusColor(Tone::Good).darker(110));
    // A day the drive was away is a gap, not a fall to zero.
    attach(chart,
           lines(
               shown, QStringLiteral("NVMe"), [](auto &s) { return s.nvmeTotalGB > 0; },
               [](auto &s) { return static_cast<double>(s.nvmeFreeGB); }),
           x, y, QColor(0x3b, 0x82, 0xf6));
    return chart;
}

QChart *savedChart(const QList<HistorySnapshot> &shown, const QPalette &palette) {
    QChart *chart = newChart(QStringLiteral("Space saved by moving to the NVMe"), palette);
    qint64 top = 0;
    for (const HistorySnapshot &s : shown)
        top = std::max(top, s.cumulativeSavedBytes);
    auto *x = timeAxis(shown, palette);
    auto *y = valueAxis(QStringLiteral("GB saved"), static_cast<double>(top) / bytesPerGB, palette);
    y->setLabelFormat(top < 10 * bytesPerGB ? QStringLiteral("%.1f") : QStringLiteral("%.0f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    attach(chart,
           lines(
               shown, QStringLiteral("Saved"), [](auto &) { return true; },
               [](auto &s) { return static_cast<double>(s.cumulativeSavedBytes) / bytesPerGB; }),
           x, y, QColor(0xa8, 0x55, 0xf7));
    chart->legend()->hide();
    return chart;
}

QChart *usedChart(const HistorySnapshot &latest, const QPalette &palette) {
    QChart *chart = newChart(QStringLiteral("Used vs free"), palette);
    auto *used = new QBarSet(QStringLiteral("Used"));
    auto *free = new QBarSet(QStringLiteral("Free"));
    used->setColor(QColor(0xf5, 0x9e, 0x0b));
    free->setColor(statusColor(Tone::Good));
    *used << std::max<qint64>(0, latest.internalTotalGB - latest.internalFreeGB)
          << std::max<qint64>(0, latest.nvmeTotalGB - latest.nvmeFreeGB);
    *free << latest.internalFreeGB << (latest.nvmeTotalGB > 0 ? latest.nvmeFreeGB : 0);
    auto *series = new QStackedBarSeries;
    series->append(used);
    series->append(free);
    chart->addSeries(series);
    auto *x = new QBarCategoryAxis;
    x->append({QStringLiteral("Internal"), QStringLiteral("NVMe")});
    styleAxis(x, palette);
    auto *y = valueAxis(QStringLiteral("GB"),
                        static_cast<double>(std::max(latest.internalTotalGB, latest.nvmeTotalGB)),
                        palette);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    return chart;
}

// Folders under the home folder are named from there, the way the scan names them; a long
// name keeps its two ends.
QString folderLabel(const QString &path) {
    constexpr qsizetype kLongest = 28;
    const QString home = QDir::homePath() + QLatin1Char('/');
    const QString label =
        path.startsWith(home) ? QStringLiteral("~/") + path.mid(home.size()) : path;
    if (label.size() <= kLongest)
        return label;
    return label.left(kLongest / 2 - 1) + QStringLiteral("…") + label.right(kLongest / 2);
}

QChart *topChart(const HistorySnapshot &latest, const QPalette &palette) {
    QChart *chart = newChart(QStringLiteral("Largest folders"), palette);
    const QList<TopDirectory> top = HistoryStore::topDirectories(latest);
    auto *set = new QBarSet(QStringLiteral("Size"));
    set->setColor(QColor(0x3b, 0x82, 0xf6));
    QStringList categories;
    // Drawn from the bottom up: the largest goes last so that it stands on top.
    for (auto it = top.crbegin(); it != top.crend(); ++it) {
        *set << static_cast<qreal>(it->mb);
        categories << folderLabel(it->path) + QStringLiteral(" · ") + it->size;
    }
    auto *series = new QHorizontalBarSeries;
    series->append(set);
    chart->addSeries(series);
    auto *y = new QBarCategoryAxis;
    y->append(categories);
    styleAxis(y, palette);
    auto *x = valueAxis(QStringLiteral("MB"), top.isEmpty() ? 0 : top.first().mb, palette);
    chart->addAxis(y, Qt::AlignLeft);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    series->attachAxis(y);
    chart->legend()->hide();
    return chart;
}

QChartView *chartView(QWidget *parent, const QString &accessibleName, int minimumLines) {
    auto *view = new QChartView(parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(textHeight(view, minimumLines));
    name(view, accessibleName);
    return view;
}

// Replaces a view's chart, deleting the one it showed.
void replaceChart(QChartView *view, QChart *chart) {
    QChart *old = view->chart();
    view->setChart(chart);
    delete old;
}

} // namespace

ChartsWindow::ChartsWindow(HistoryStore &history, QWidget *parent)
    : QWidget(parent)
    , m_history(history) {
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(8);

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Time range"), this));
    m_picker = new QComboBox(this);
    name(m_picker, QStringLiteral("Time range"));
    for (const QList<ChartTimeRange> &group : chartTimeRangeGroups()) {
        if (m_picker->count() > 0)
            m_picker->insertSeparator(m_picker->count());
        for (ChartTimeRange range : group)
            m_picker->addItem(label(range), static_cast<int>(range));
    }
    bar->addWidget(m_picker);
    m_rangeSummary = caption(QString(), this);
    m_rangeSummary->setWordWrap(false);
    bar->addWidget(m_rangeSummary, 1);
    m_resetZoom = new QPushButton(QStringLiteral("Reset Zoom"), this);
    name(m_resetZoom, QStringLiteral("Reset Zoom"), QStringLiteral("Show the whole time range"));
    bar->addWidget(m_resetZoom);
    layout->addLayout(bar);

    m_pages = new QStackedWidget(this);
    m_notEnough = new QLabel(HistoryStore::notEnoughSnapshotsText(), m_pages);
    m_notEnough->setWordWrap(true);
    m_notEnough->setAlignment(Qt::AlignCenter);
    m_notEnough->setMargin(textWidth(m_notEnough, 4));
    m_pages->addWidget(m_notEnough);
    m_charts = new QWidget(m_pages);
    auto *rows = new QVBoxLayout(m_charts);
    rows->setContentsMargins(0, 0, 0, 0);
    m_freeView = chartView(m_charts, QStringLiteral("Free space over time"), 12);
    m_savedView = chartView(m_charts, QStringLiteral("Space saved"), 12);
    m_usedView = chartView(m_charts, QStringLiteral("Used vs free"), 12);
    m_topView = chartView(m_charts, QStringLiteral("Largest folders"), 12);
    for (QChartView *view : {m_freeView, m_savedView})
        view->setRubberBand(QChartView::HorizontalRubberBand);
    auto *overTime = new QHBoxLayout;
    overTime->addWidget(m_freeView, 1);
    overTime->addWidget(m_savedView, 1);
    rows->addLayout(overTime);
    // The folders' names need the room the two bars do not.
    auto *latest = new QHBoxLayout;
    latest->addWidget(m_usedView, 2);
    latest->addWidget(m_topView, 3);
    rows->addLayout(latest);
    m_pages->addWidget(m_charts);
    layout->addWidget(m_pages, 1);
    layout->addWidget(caption(QStringLiteral("Drag across a chart over time to zoom into those "
                                             "days. Snapshots are stored at "
                                             "~/.quindle/state/history.ndjson."),
                              this));

    connect(m_picker, &QComboBox::activated, this, [this](int index) {
        setTimeRange(static_cast<ChartTimeRange>(m_picker->itemData(index).toInt()));
    });
    connect(m_resetZoom, &QPushButton::clicked, this, &ChartsWindow::clearZoom);
    connect(&m_history, &HistoryStore::changed, this, &ChartsWindow::rebuild);
    m_history.refresh();
    setTimeRange(m_range);
}

void ChartsWindow::setTimeRange(ChartTimeRange range) {
    m_range = range;
    m_zoomStart.reset();
    m_zoomEnd.reset();
    m_picker->setCurrentIndex(m_picker->findData(static_cast<int>(range)));
    rebuild();
}

void ChartsWindow::setZoom(const QDateTime &start, const QDateTime &end) {
    m_zoomStart = std::min(start, end);
    m_zoomEnd = std::max(start, end);
    rebuild();
}

void ChartsWindow::clearZoom() {
    m_zoomStart.reset();
    m_zoomEnd.reset();
    rebuild();
}

void ChartsWindow::rebuild() {
    m_rebuilding = true;
    const QDateTime now = m_now.value_or(QDateTime::currentDateTime());
    const Qt::DayOfWeek firstDay = QLocale::system().firstDayOfWeek();
    const QList<HistorySnapshot> &all = m_history.snapshots();
    const QList<HistorySnapshot> shown =
        HistoryStore::visible(all, m_range, now, firstDay, m_zoomStart, m_zoomEnd);
    m_resetZoom->setVisible(m_zoomStart.has_value());
    m_rangeSummary->setText(QStringLiteral("%1 of %2 snapshots").arg(shown.size()).arg(all.size()));
    if (all.size() < 2) {
        m_pages->setCurrentWidget(m_notEnough);
        m_rebuilding = false;
        return;
    }
    m_pages->setCurrentWidget(m_charts);
    const QPalette &colours = palette();
    if (shown.isEmpty()) {
        // Nothing in the range: empty charts with their titles, not stale ones.
        replaceChart(m_freeView,
                     newChart(QStringLiteral("No snapshot falls in this time range."), colours));
        replaceChart(m_savedView, newChart(QString(), colours));
    } else {
        m_shownFirst = shown.first().ts.toLocalTime();
        m_shownLast = shown.last().ts.toLocalTime();
        replaceChart(m_freeView, freeSpaceChart(shown, colours));
        replaceChart(m_savedView, savedChart(shown, colours));
        for (QLineSeries *series : m_freeView->chart()->findChildren<QLineSeries *>())
            connect(series, &QLineSeries::hovered, this, [shown](const QPointF &point, bool state) {
                if (state)
                    QToolTip::showText(QCursor::pos(), tooltipFor(nearest(shown, point.x())));
                else
                    QToolTip::hideText();
            });
        followZoom(m_freeView);
        followZoom(m_savedView);
    }
    const HistorySnapshot latest = all.last();
    replaceChart(m_usedView, usedChart(latest, colours));
    // A day whose scan did not finish names no folders; the last one that did stands.
    const auto named =
        std::find_if(all.crbegin(), all.crend(), [](const auto &s) { return !s.dirsMB.isEmpty(); });
    replaceChart(m_topView, named == all.crend()
                                ? newChart(QStringLiteral("No folder sizes yet."), colours)
                                : topChart(*named, colours));
    m_rebuilding = false;
}

void ChartsWindow::followZoom(QChartView *view) {
    const auto axes = view->chart()->axes(Qt::Horizontal);
    if (axes.isEmpty())
        return;
    auto *axis = qobject_cast<QDateTimeAxis *>(axes.first());
    if (!axis)
        return;
    connect(axis, &QDateTimeAxis::rangeChanged, this,
            [this](const QDateTime &min, const QDateTime &max) {
                // Only a drag narrows the range; the chart settling on its data is no zoom.
                if (m_rebuilding || (min <= m_shownFirst && max >= m_shownLast))
                    return;
                // Rebuilt from the event loop: the view that zooms is still using its chart.
                QMetaObject::invokeMethod(
                    this, [this, min, max] { setZoom(min.toUTC(), max.toUTC()); },
                    Qt::QueuedConnection);
            });
}

} // namespace quindle::ui
