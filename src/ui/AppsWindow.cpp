#include "ui/AppsWindow.h"

#include "apps/AppsWindowModel.h"
#include "core/PathText.h"
#include "ui/ElidedLabel.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

void clear(QVBoxLayout *layout) {
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide(); // gone from the picture now, not when the event loop deletes it
            widget->deleteLater();
        }
        delete item;
    }
}

QLabel *badge(const AppSafetyVerdict &verdict, QWidget *parent) {
    auto *label = new QLabel(verdict.badge(), parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    setTone(label, verdict.kind == AppSafetyVerdict::Kind::Blocked ? Tone::Bad : Tone::Warning);
    return label;
}

// A title and a hint centred where the list would be.
QWidget *emptyState(const QString &title, const QString &hint, QWidget *parent) {
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->addStretch(1);
    auto *top = heading(title, box);
    top->setAlignment(Qt::AlignCenter);
    layout->addWidget(top);
    auto *below = caption(hint, box);
    below->setAlignment(Qt::AlignCenter);
    layout->addWidget(below);
    layout->addStretch(2);
    return box;
}

QString phaseText(const AppMoveJob &job) {
    const AppMoveManifest &m = job.manifest;
    if (m.phase == AppMovePhase::Failed || m.phase == AppMovePhase::Cancelled)
        return m.lastError.value_or(QStringLiteral("The move failed."));
    if (m.phase == AppMovePhase::Done)
        return QStringLiteral("Done.");
    return m.statusMessage.value_or(rawValue(m.phase) + QStringLiteral("…"));
}

Tone toneOf(AppMovePhase phase) {
    switch (phase) {
    case AppMovePhase::Done:
        return Tone::Good;
    case AppMovePhase::Failed:
    case AppMovePhase::Cancelled:
        return Tone::Bad;
    case AppMovePhase::WaitingForDrive:
        return Tone::Warning;
    default:
        return Tone::Neutral;
    }
}

} // namespace

AppsWindow::AppsWindow(AppsWindowModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model) {
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabBar(this);
    m_tabs->addTab(QStringLiteral("Available"));
    m_tabs->addTab(QStringLiteral("Moved"));
    name(m_tabs, QStringLiteral("Apps tabs"));
    layout->addWidget(m_tabs);
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildAvailablePage());
    m_pages->addWidget(buildMovedPage());
    layout->addWidget(m_pages, 1);

    m_jobs = new QWidget(this);
    auto *jobs = new QVBoxLayout(m_jobs);
    jobs->setContentsMargins(0, 0, 0, 0);
    jobs->addWidget(heading(QStringLiteral("Moves"), m_jobs));
    m_jobRows = new QVBoxLayout;
    jobs->addLayout(m_jobRows);
    layout->addWidget(m_jobs);

    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    setTone(m_error, Tone::Bad);
    name(m_error, QStringLiteral("Error"));
    layout->addWidget(m_error);

    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
        m_model.setTab(index == 0 ? AppsWindowModel::Tab::Available : AppsWindowModel::Tab::Moved);
    });
    connect(&m_model, &AppsWindowModel::changed, this, &AppsWindow::present);
    present();
}

QWidget *AppsWindow::buildAvailablePage() {
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);

    m_banner = card(page);
    auto *banner = new QHBoxLayout(m_banner);
    m_bannerText = new QLabel(m_banner);
    m_bannerText->setWordWrap(true);
    setTone(m_bannerText, Tone::Warning);
    banner->addWidget(m_bannerText, 1);
    auto *roots = new QPushButton(QStringLiteral("Apps roots…"), m_banner);
    name(roots, QStringLiteral("Apps roots…"), QStringLiteral("Choose the folders that hold apps"));
    connect(roots, &QPushButton::clicked, this, &AppsWindow::appsRootsRequested);
    banner->addWidget(roots);
    layout->addWidget(m_banner);

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Older than"), page));
    m_olderThan = new QComboBox(page);
    for (int days : AppsWindowModel::minDaysChoices())
        m_olderThan->addItem(QStringLiteral("%1 days").arg(days), days);
    name(m_olderThan, QStringLiteral("Older than"), QStringLiteral("Hide apps used more recently"));
    bar->addWidget(m_olderThan);
    m_hideRunning = new QCheckBox(QStringLiteral("Hide running"), page);
    name(m_hideRunning, m_hideRunning->text(), QStringLiteral("Hide apps that are open now"));
    bar->addWidget(m_hideRunning);
    bar->addStretch(1);
    m_scanning = new QLabel(QStringLiteral("Scanning…"), page);
    bar->addWidget(m_scanning);
    auto *selectAll = new QPushButton(QStringLiteral("Select all eligible"), page);
    name(selectAll, selectAll->text(), QStringLiteral("Select every app that may move"));
    bar->addWidget(selectAll);
    auto *refresh = new QToolButton(page);
    refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    name(refresh, QStringLiteral("Refresh"), QStringLiteral("Scan the apps roots again"));
    bar->addWidget(refresh);
    layout->addLayout(bar);

    RowList list = rowList(page, 2);
    m_rows = list.rows;
    layout->addWidget(list.scroll, 1);

    auto *footer = new QHBoxLayout;
    m_footer = new QLabel(page);
    name(m_footer, QStringLiteral("Selection"));
    footer->addWidget(m_footer, 1);
    m_move = new QPushButton(QStringLiteral("Move to NVMe"), page);
    name(m_move, m_move->text(), QStringLiteral("Move the selected apps to the drive"));
    m_move->setDefault(true);
    dimWhenDisabled(m_move);
    footer->addWidget(m_move);
    layout->addLayout(footer);

    connect(m_olderThan, &QComboBox::activated, this,
            [this](int index) { m_model.setMinDaysFilter(m_olderThan->itemData(index).toInt()); });
    connect(m_hideRunning, &QCheckBox::toggled, this,
            [this](bool on) { m_model.setHideRunning(on); });
    connect(selectAll, &QPushButton::clicked, this, [this] { m_model.selectAllEligible(); });
    connect(refresh, &QToolButton::clicked, this, [this] { m_model.rescan(); });
    connect(m_move, &QPushButton::clicked, this, [this] { m_model.moveSelected(); });
    return page;
}

QWidget *AppsWindow::buildMovedPage() {
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_movedSummary = heading(QString(), page);
    layout->addWidget(m_movedSummary);
    RowList list = rowList(page, 2);
    m_movedRows = list.rows;
    layout->addWidget(list.scroll, 1);
    return page;
}

QWidget *AppsWindow::appRow(const AppEntry &entry) {
    const AppSafetyVerdict verdict = m_model.verdictFor(entry);
    auto *row = card(this);
    auto *grid = new QGridLayout(row);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(0);
    auto *pick = new QCheckBox(row);
    pick->setChecked(m_model.selection().contains(entry.id));
    pick->setEnabled(verdict.kind != AppSafetyVerdict::Kind::Blocked);
    name(pick, QStringLiteral("Select %1").arg(entry.displayName));
    connect(pick, &QCheckBox::toggled, this,
            [this, id = entry.id](bool on) { m_model.setSelected(id, on); });
    grid->addWidget(pick, 0, 0, 2, 1);

    auto *title = new ElidedLabel(Qt::ElideRight, row);
    title->setFullText(entry.displayName);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    grid->addWidget(title, 0, 1);
    auto *path = new ElidedLabel(Qt::ElideMiddle, row);
    path->setFullText(tildePath(entry.path));
    path->setForegroundRole(QPalette::PlaceholderText);
    grid->addWidget(path, 1, 1);
    auto *size = new QLabel(AppsWindowModel::sizeText(entry.sizeBytes), row);
    size->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(size, 0, 2);
    auto *used = new QLabel(entry.lastUsedLabel(m_model.now()), row);
    used->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    used->setForegroundRole(QPalette::PlaceholderText);
    grid->addWidget(used, 1, 2);
    if (verdict.kind != AppSafetyVerdict::Kind::Ok) {
        grid->addWidget(badge(verdict, row), 0, 3, Qt::AlignRight);
        auto *why = new QLabel(verdict.message, row);
        why->setWordWrap(true);
        grid->addWidget(why, 2, 1, 1, 3);
    }
    grid->setColumnStretch(1, 1);
    return row;
}

QWidget *AppsWindow::movedRow(const MovedApp &app) {
    auto *row = card(this);
    auto *grid = new QGridLayout(row);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(0);
    auto *title = heading(app.displayName, row);
    grid->addWidget(title, 0, 0);
    auto *where = new ElidedLabel(Qt::ElideMiddle, row);
    where->setFullText(tildePath(app.originalPath) + QStringLiteral("  →  ") +
                       tildePath(app.nvmePath));
    where->setForegroundRole(QPalette::PlaceholderText);
    grid->addWidget(where, 1, 0);
    grid->addWidget(new QLabel(AppsWindowModel::sizeText(app.sizeBytes), row), 0, 1,
                    Qt::AlignRight);
    auto *back = new QPushButton(QStringLiteral("Move back"), row);
    name(back, QStringLiteral("Move %1 back").arg(app.displayName));
    connect(back, &QPushButton::clicked, this, [this, app] { m_model.moveBack(app); });
    grid->addWidget(back, 0, 2, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(0, 1);
    return row;
}

void AppsWindow::present() {
    const bool available = m_model.tab() == AppsWindowModel::Tab::Available;
    m_tabs->setCurrentIndex(available ? 0 : 1);
    m_pages->setCurrentIndex(available ? 0 : 1);
    presentAvailable();
    presentMoved();
    presentJobs();
    m_error->setText(m_model.errorToast().value_or(QString()));
    m_error->setVisible(m_model.errorToast().has_value());
}

void AppsWindow::presentAvailable() {
    m_olderThan->setCurrentIndex(m_olderThan->findData(m_model.minDaysFilter()));
    m_hideRunning->setChecked(m_model.hideRunning());
    m_scanning->setVisible(m_model.isScanning());
    const std::optional<QString> banner = m_model.rootBanner();
    m_banner->setVisible(banner.has_value());
    m_bannerText->setText(banner.value_or(QString()));

    clear(m_rows);
    const QList<AppEntry> shown = m_model.filteredEntries();
    for (const AppEntry &entry : shown)
        m_rows->addWidget(appRow(entry));
    if (shown.isEmpty() && !m_model.isScanning())
        m_rows->addWidget(emptyState(AppsWindowModel::emptyFilterTitle(),
                                     AppsWindowModel::emptyFilterHint(), this));
    m_rows->addStretch(1);

    m_footer->setText(m_model.footerText());
    const bool drive = m_model.nvmeAvailable();
    m_move->setEnabled(drive && !m_model.selection().isEmpty());
    m_move->setToolTip(drive ? QString() : AppsWindowModel::moveBlockedText());
    if (!drive)
        m_footer->setText(AppsWindowModel::moveBlockedText());
}

void AppsWindow::presentJobs() {
    clear(m_jobRows);
    const QList<AppMoveJob> &jobs = m_model.relocator().pendingJobs();
    for (const AppMoveJob &job : jobs) {
        auto *row = new QWidget(this);
        auto *line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        auto *title = new QLabel(job.manifest.displayName, row);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        line->addWidget(title);
        auto *status = new ElidedLabel(Qt::ElideRight, row);
        status->setFullText(phaseText(job));
        if (toneOf(job.manifest.phase) != Tone::Neutral)
            setTone(status, toneOf(job.manifest.phase));
        line->addWidget(status, 1);
        m_jobRows->addWidget(row);
    }
    m_jobs->setVisible(!jobs.isEmpty());
}

void AppsWindow::presentMoved() {
    const QList<MovedApp> &moved = m_model.relocator().moved();
    m_movedSummary->setText(m_model.movedSummary());
    m_movedSummary->setVisible(!moved.isEmpty());
    clear(m_movedRows);
    for (const MovedApp &app : moved)
        m_movedRows->addWidget(movedRow(app));
    if (moved.isEmpty())
        m_movedRows->addWidget(
            emptyState(AppsWindowModel::noMovedTitle(), AppsWindowModel::noMovedHint(), this));
    m_movedRows->addStretch(1);
}

} // namespace quindle::ui
