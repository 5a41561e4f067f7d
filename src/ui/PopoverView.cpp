#include "ui/PopoverView.h"

#include "core/ServiceScripts.h"
#include "core/StatusModel.h"
#include "insight/FstabAuditor.h"
#include "insight/PopoverModel.h"
#include "platform/DesktopNouns.h"
#include "transfers/RemoteManager.h"
#include "ui/FreeSpacePanel.h"
#include "ui/RecentNoticesView.h"
#include "ui/Theme.h"
#include "ui/TrayIconArt.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

Tone headlineTone(IconState state) {
    switch (state) {
    case IconState::Normal:
        return Tone::Good;
    case IconState::Low:
    case IconState::Paused:
        return Tone::Warning;
    case IconState::Critical:
    case IconState::DriveMissing:
        return Tone::Bad;
    default:
        return Tone::Neutral;
    }
}

QLabel *valueLabel(QWidget *parent) {
    auto *label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// One disk: "41 GB free", "453 / 494 GB used" and a bar.
QFrame *diskCard(const QString &title, QLabel *&free, QLabel *&used, QProgressBar *&bar,
                 QWidget *parent) {
    QFrame *frame = card(parent);
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(2);
    layout->addWidget(caption(title, frame));
    free = heading(QString(), frame);
    used = caption(QString(), frame);
    bar = new QProgressBar(frame);
    bar->setTextVisible(false);
    bar->setMaximumHeight(6);
    name(bar, title + QStringLiteral(" usage"));
    layout->addWidget(free);
    layout->addWidget(bar);
    layout->addWidget(used);
    return frame;
}

void showDisk(QLabel *free, QLabel *used, QProgressBar *bar, const DiskFigures &figures) {
    free->setText(figures.free);
    used->setText(figures.used);
    bar->setRange(0, 1000);
    bar->setValue(figures.usedPermille);
}

Tone spaceTone(PopoverModel::SpaceLevel level) {
    switch (level) {
    case PopoverModel::SpaceLevel::Critical:
        return Tone::Bad;
    case PopoverModel::SpaceLevel::Low:
        return Tone::Warning;
    default:
        return Tone::Neutral;
    }
}

} // namespace

void PopoverView::paintEvent(QPaintEvent *event) {
    QWidget::paintEvent(event);
    if (windowType() != Qt::Popup)
        return; // a normal window has the desktop's frame
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

int PopoverView::preferredHeight(int visibleHeight) {
    return std::max(420, std::min(visibleHeight - 60, 720));
}

QSize PopoverView::fittingSize(const QSize &available) const {
    // Qt caps a scroll area's own hint at a few dozen lines; its content knows what it needs.
    const QSize content = m_loadedPage->widget()->sizeHint();
    const QMargins margins = layout()->contentsMargins();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize whole = layout()->sizeHint();
    const int width = std::max({minimumWidth, whole.width(),
                                content.width() + margins.left() + margins.right() + scrollBar});
    const int chrome = whole.height() - m_pages->sizeHint().height();
    const int height =
        std::clamp(chrome + content.height(), std::min(420, available.height()),
                   std::min(preferredHeight(available.height()), available.height()));
    return {std::min(width, available.width()), height};
}

PopoverView::PopoverView(PopoverModel &model, PopoverActions actions, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_actions(std::move(actions)) {
    name(this, QStringLiteral("Quindle status"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 10);
    layout->setSpacing(8);

    // Header: icon, name, state, refresh and minimise.
    auto *header = new QHBoxLayout;
    auto *icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(32, 32));
    header->addWidget(icon);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(0);
    titles->addWidget(heading(QStringLiteral("Quindle"), this));
    m_subtitle = new QLabel(this);
    name(m_subtitle, QStringLiteral("Service state"));
    titles->addWidget(m_subtitle);
    header->addLayout(titles, 1);
    auto *refresh = new QToolButton(this);
    refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    name(refresh, QStringLiteral("Refresh"), QStringLiteral("Read the service's status now"));
    connect(refresh, &QToolButton::clicked, this, [this] { m_model.refresh(); });
    header->addWidget(refresh);
    auto *minimise = new QToolButton(this);
    minimise->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
    name(minimise, QStringLiteral("Minimize"),
         QStringLiteral("Minimize popover (%1+W)").arg(platform::shortcutModifier()));
    minimise->setShortcut(QKeySequence(QStringLiteral("Ctrl+W")));
    connect(minimise, &QToolButton::clicked, this, [this] {
        if (m_actions.closePopover)
            m_actions.closePopover();
    });
    header->addWidget(minimise);
    layout->addLayout(header);

    m_pages = new QStackedWidget(this);
    m_loadedPage = buildLoadedPage();
    m_messagePage = buildMessagePage(m_message, m_messageButton);
    m_pages->addWidget(m_loadedPage);
    m_pages->addWidget(m_messagePage);
    layout->addWidget(m_pages, 1);

    // Footer: the windows and Quit.
    auto *footer = new QHBoxLayout;
    footer->setSpacing(4);
    for (const auto &[label, kind] : {std::pair{QStringLiteral("Log"), WindowKind::Log},
                                      std::pair{QStringLiteral("Rules"), WindowKind::RulesConfig},
                                      std::pair{QStringLiteral("Inspect"), WindowKind::Inspect},
                                      std::pair{QStringLiteral("Apps"), WindowKind::Apps},
                                      std::pair{QStringLiteral("Help"), WindowKind::Help}}) {
        auto *button = new QToolButton(this);
        button->setText(label);
        button->setAutoRaise(true);
        name(button, label);
        connect(button, &QToolButton::clicked, this,
                [this, kind = kind] { m_actions.openWindow(kind); });
        footer->addWidget(button);
    }
    auto *more = new QToolButton(this);
    more->setText(QStringLiteral("More"));
    more->setAutoRaise(true);
    more->setPopupMode(QToolButton::InstantPopup);
    name(more, QStringLiteral("More actions"));
    auto *menu = new QMenu(more);
    menu->addAction(QStringLiteral("Storage Inspector…"), this,
                    [this] { m_actions.openWindow(WindowKind::StorageInspector); });
    menu->addAction(QStringLiteral("Storage Charts…"), this,
                    [this] { m_actions.openWindow(WindowKind::Charts); });
    menu->addAction(QStringLiteral("Transfers…"), this,
                    [this] { m_actions.openWindow(WindowKind::Transfers); });
    menu->addAction(QStringLiteral("Remotes && Accounts…"), this,
                    [this] { m_actions.openWindow(WindowKind::Remotes); });
    menu->addAction(QStringLiteral("Tier…"), this,
                    [this] { m_actions.openWindow(WindowKind::Tier); });
    menu->addAction(QStringLiteral("Apps…"), this,
                    [this] { m_actions.openWindow(WindowKind::Apps); });
    menu->addAction(QStringLiteral("Choose Drive…"), this,
                    [this] { m_actions.openWindow(WindowKind::ChooseDrive); });
    QAction *settings = menu->addAction(QStringLiteral("Settings…"), this,
                                        [this] { m_actions.openWindow(WindowKind::Settings); });
    settings->setShortcut(settingsShortcut());
    // The menu's own shortcuts work only while it is open; the popover's work while it shows.
    addAction(settings);
    menu->addAction(QStringLiteral("Share Your Experience…"), this,
                    [this] { m_actions.openWindow(WindowKind::ShareExperience); });
    menu->addAction(QStringLiteral("Re-run Setup Wizard…"), this,
                    [this] { m_actions.openWindow(WindowKind::SetupWizard); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Uninstall Quindle…"), this,
                    [this] { m_actions.openWindow(WindowKind::Uninstall); });
    more->setMenu(menu);
    footer->addWidget(more);
    auto *legal = new QToolButton(this);
    legal->setText(QStringLiteral("Legal"));
    legal->setAutoRaise(true);
    legal->setPopupMode(QToolButton::InstantPopup);
    name(legal, QStringLiteral("Legal"));
    auto *legalMenu = new QMenu(legal);
    for (WindowKind kind : legalDocumentWindows())
        legalMenu->addAction(shownDocument(kind).title, this,
                             [this, kind] { m_actions.openWindow(kind); });
    legal->setMenu(legalMenu);
    footer->addWidget(legal);
    footer->addStretch(1);
    auto *quit = new QPushButton(QStringLiteral("Quit"), this);
    name(quit, QStringLiteral("Quit"),
         QStringLiteral("Quit Quindle (%1+Q)").arg(platform::shortcutModifier()));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    connect(quit, &QPushButton::clicked, this, [this] {
        if (m_actions.quit)
            m_actions.quit();
    });
    footer->addWidget(quit);
    layout->addLayout(footer);

    connect(&m_model, &PopoverModel::changed, this, &PopoverView::rebuild);
    rebuild();
}

QWidget *PopoverView::buildMessagePage(QLabel *&text, QPushButton *&button) {
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->addStretch(1);
    text = new QLabel(page);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    button = new QPushButton(page);
    button->setDefault(true);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch(2);
    connect(button, &QPushButton::clicked, this, [this] {
        if (m_model.page() == PopoverModel::Page::NotInstalled)
            m_actions.openWindow(WindowKind::SetupWizard);
        else
            m_model.startService();
    });
    return page;
}

QScrollArea *PopoverView::buildLoadedPage() {
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *page = new QWidget(scroll);
    scroll->setWidget(page);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 4, 0);
    layout->setSpacing(10);

    auto *cards = new QHBoxLayout;
    cards->addWidget(
        diskCard(QStringLiteral("Internal"), m_internalFree, m_internalUsed, m_internalBar, page));
    cards->addWidget(diskCard(QStringLiteral("NVMe"), m_nvmeFree, m_nvmeUsed, m_nvmeBar, page));
    layout->addLayout(cards);

    auto *rows = new QFormLayout;
    rows->setLabelAlignment(Qt::AlignLeft);
    rows->setHorizontalSpacing(12);
    rows->setVerticalSpacing(3);
    const auto addRow = [&](const QString &label, QLabel *&value) {
        value = valueLabel(page);
        name(value, label);
        rows->addRow(caption(label, page), value);
    };
    addRow(QStringLiteral("NVMe"), m_nvmeRow);
    addRow(QStringLiteral("Auto-actions"), m_autoRow);
    addRow(QStringLiteral("Quiet hours"), m_quietRow);
    addRow(QStringLiteral("Power"), m_powerRow);
    addRow(QStringLiteral("Idle"), m_idleRow);
    addRow(QStringLiteral("Last run"), m_lastRunRow);
    if (m_actions.remotes) {
        const auto addLinkRow = [&](const QString &label, QLabel *&value, WindowKind kind) {
            addRow(label, value);
            value->setTextFormat(Qt::RichText);
            connect(value, &QLabel::linkActivated, this,
                    [this, kind] { m_actions.openWindow(kind); });
        };
        addLinkRow(QStringLiteral("Cloud Accounts"), m_accountsRow, WindowKind::Remotes);
        addLinkRow(QStringLiteral("Transfers"), m_transfersRow, WindowKind::Transfers);
        connect(m_actions.remotes, &RemoteManager::remotesChanged, this,
                &PopoverView::presentAccounts);
        presentAccounts();
    }
    layout->addLayout(rows);
    m_summary = caption(QString(), page);
    layout->addWidget(m_summary);

    m_moves = new QLabel(page);
    m_moves->setTextFormat(Qt::RichText);
    name(m_moves, QStringLiteral("Moves"));
    connect(m_moves, &QLabel::linkActivated, this,
            [this] { m_actions.openWindow(WindowKind::Tier); });
    layout->addWidget(m_moves);

    // A line left in the file system table by an earlier install.
    m_fstabRow = new QLabel(
        QStringLiteral("<a href=\"remove\">%1</a>").arg(FstabAuditor::rowText().toHtmlEscaped()),
        page);
    m_fstabRow->setWordWrap(true);
    m_fstabRow->setTextFormat(Qt::RichText);
    name(m_fstabRow, QStringLiteral("fstab entry"), FstabAuditor::hint());
    m_fstabRow->setToolTip(FstabAuditor::hint());
    connect(m_fstabRow, &QLabel::linkActivated, this,
            [this] { m_model.removeFstabEntry(confirmer()); });
    layout->addWidget(m_fstabRow);
    m_fstabError = new QLabel(page);
    m_fstabError->setWordWrap(true);
    name(m_fstabError, QStringLiteral("fstab removal"));
    setTone(m_fstabError, Tone::Bad);
    layout->addWidget(m_fstabError);

    // Service actions.
    auto *actions = new QGridLayout;
    actions->setSpacing(6);
    m_pauseButton = addCommand(page, QStringLiteral("Pause"), service::pause,
                               QStringLiteral("Halt automatic actions (service keeps running)."));
    actions->addWidget(m_pauseButton, 0, 0);
    actions->addWidget(addCommand(page, QStringLiteral("Run Rules Only"), service::relocateNow), 0,
                       1);
    actions->addWidget(addCommand(page, QStringLiteral("Dry Run"), service::dryRun), 0, 2);
    actions->addWidget(addCommand(page, QStringLiteral("Rollback Last Batch"), service::rollback),
                       1, 0);
    actions->addWidget(addCommand(page, QStringLiteral("Remount NVMe"), service::remount), 1, 1);
    actions->addWidget(
        addCommand(page, QStringLiteral("Eject NVMe"), service::ejectNVMe,
                   QStringLiteral("Pause service, quit dependent apps, and unmount the drive")),
        1, 2);
    actions->addWidget(addCommand(page, QStringLiteral("Show in ") + platform::fileManagerName(),
                                  service::showInFileManager),
                       2, 0, 1, 2);
    actions->addWidget(addCommand(page, QStringLiteral("Stop Service"), StatusModel::stopKey,
                                  QStringLiteral("Unload the %1. Service will stop running.")
                                      .arg(platform::userServiceNoun())),
                       2, 2);
    layout->addLayout(actions);

    if (m_actions.freeSpace && m_actions.freeSpaceResult) {
        auto *freeSpace = new FreeSpacePanel(
            *m_actions.freeSpace, *m_actions.freeSpaceResult,
            [this] { return m_model.status() && m_model.status()->paused; },
            [this] { m_actions.openWindow(WindowKind::FreeSpace); }, page);
        connect(&m_model, &PopoverModel::changed, freeSpace, &FreeSpacePanel::rebuild);
        layout->addWidget(freeSpace);
    }

    // Windows.
    auto *windows = new QHBoxLayout;
    windows->addWidget(
        addOpener(page, QStringLiteral("Inspect NVMe"), WindowKind::Inspect,
                  QStringLiteral("UUID, filesystem, marker, validate, show in file manager")));
    windows->addWidget(
        addOpener(page, QStringLiteral("Choose Drive"), WindowKind::ChooseDrive,
                  QStringLiteral("Pick a different external drive, test its speed, and switch")));
    windows->addWidget(addOpener(
        page, QStringLiteral("Tier"), WindowKind::Tier,
        QStringLiteral("Tier between drives — pair folders, then Move / Merge / Relocate.")));
    layout->addLayout(windows);

    // The last action's output.
    m_outputPanel = card(page);
    auto *output = new QVBoxLayout(m_outputPanel);
    output->setContentsMargins(10, 8, 10, 8);
    output->addWidget(caption(QStringLiteral("Last output"), m_outputPanel));
    m_error = new QLabel(m_outputPanel);
    m_error->setWordWrap(true);
    setTone(m_error, Tone::Bad);
    output->addWidget(m_error);
    m_output = new QPlainTextEdit(m_outputPanel);
    m_output->setReadOnly(true);
    m_output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_output->setMaximumHeight(120);
    name(m_output, QStringLiteral("Last output"));
    output->addWidget(m_output);
    auto *outputButtons = new QHBoxLayout;
    auto *copy = new QPushButton(QStringLiteral("Copy full output to clipboard"), m_outputPanel);
    name(copy, QStringLiteral("Copy full output to clipboard"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(m_model.fullOutput()); });
    auto *clear = new QPushButton(QStringLiteral("Clear output"), m_outputPanel);
    name(clear, QStringLiteral("Clear output"));
    connect(clear, &QPushButton::clicked, &m_model, &PopoverModel::clearOutput);
    outputButtons->addWidget(copy);
    outputButtons->addWidget(clear);
    outputButtons->addStretch(1);
    output->addLayout(outputButtons);
    layout->addWidget(m_outputPanel);
    if (m_actions.recentNotices)
        layout->addWidget(new RecentNoticesView(*m_actions.recentNotices, page));
    layout->addStretch(1);
    return scroll;
}

QPushButton *PopoverView::addCommand(QWidget *parent, const QString &label, const QString &command,
                                     const QString &hint) {
    auto *button = new QPushButton(label, parent);
    name(button, label, hint);
    dimWhenDisabled(button);
    m_commandButtons.insert(command, button);
    connect(button, &QPushButton::clicked, this,
            [this, command] { m_model.press(command, confirmer()); });
    return button;
}

PopoverModel::Confirm PopoverView::confirmer() {
    return [this](const Confirmation &ask, std::function<void()> agreed) {
        if (m_actions.confirm)
            m_actions.confirm(ask.title, ask.text, ask.confirm, std::move(agreed));
    };
}

QPushButton *PopoverView::addOpener(QWidget *parent, const QString &label, WindowKind kind,
                                    const QString &hint) {
    auto *button = new QPushButton(label, parent);
    name(button, label, hint);
    connect(button, &QPushButton::clicked, this, [this, kind] { m_actions.openWindow(kind); });
    return button;
}

QPushButton *PopoverView::commandButton(const QString &command) const {
    return m_commandButtons.value(command);
}

void PopoverView::presentAccounts() {
    const qsizetype count = m_actions.remotes->remotes().size();
    const QString text = (count == 1 ? QStringLiteral("1 cloud account connected")
                                     : QStringLiteral("%1 cloud accounts connected").arg(count))
                             .toHtmlEscaped();
    m_accountsRow->setText(QStringLiteral("<a href=\"accounts\">%1</a>").arg(text));
    m_transfersRow->setText(QStringLiteral("<a href=\"transfers\">%1</a>").arg(text));
}

void PopoverView::rebuild() {
    m_subtitle->setText(m_model.subtitle());
    setTone(m_subtitle, headlineTone(m_model.iconState()));

    const PopoverModel::Page page = m_model.page();
    if (page != PopoverModel::Page::Status) {
        m_message->setText(PopoverModel::messageText(page));
        const QString button = PopoverModel::messageButton(page);
        if (!button.isEmpty()) {
            m_messageButton->setText(button);
            name(m_messageButton, button);
        }
        m_messageButton->setVisible(!button.isEmpty());
        m_messageButton->setEnabled(m_model.messageButtonEnabled());
        m_pages->setCurrentWidget(m_messagePage);
        return;
    }
    m_pages->setCurrentWidget(m_loadedPage);
    const ServiceStatus &s = *m_model.status();

    showDisk(m_internalFree, m_internalUsed, m_internalBar,
             PopoverModel::disk(
                 PopoverModel::space(s.internal_space, s.internal_free_gb, s.internal_total_gb)));
    showDisk(m_nvmeFree, m_nvmeUsed, m_nvmeBar,
             PopoverModel::disk(
                 s.mounted ? PopoverModel::space(s.nvme_space, s.nvme_free_gb, s.nvme_total_gb)
                           : std::nullopt));
    setTone(m_internalFree, spaceTone(PopoverModel::internalSpace(s)));

    m_nvmeRow->setText(PopoverModel::driveText(s));
    m_autoRow->setText(PopoverModel::autoActionsText(s));
    m_quietRow->setText(StatusModel::quietHoursDescription(s));
    m_powerRow->setText(PopoverModel::powerText(s));
    m_idleRow->setText(PopoverModel::idleText(s.idle_secs));
    m_lastRunRow->setText(PopoverModel::lastRunText(s.last_run));
    m_summary->setText(PopoverModel::summaryText(s));

    const QString moves = m_model.movesText();
    m_moves->setVisible(!moves.isEmpty());
    m_moves->setText(QStringLiteral("<a href=\"tier\">%1</a>").arg(moves));
    m_fstabRow->setVisible(m_model.showsFstabRow());
    m_fstabError->setText(m_model.fstabRemovalError());
    m_fstabError->setVisible(m_model.showsFstabRow() && !m_model.fstabRemovalError().isEmpty());

    m_pauseButton->setText(m_model.pauseLabel());
    name(m_pauseButton, m_pauseButton->text(),
         QStringLiteral("Halt automatic actions (service keeps running)."));
    for (auto it = m_commandButtons.cbegin(); it != m_commandButtons.cend(); ++it)
        it.value()->setEnabled(m_model.commandEnabled(it.key()));

    const QString output = m_model.output();
    const QString error = m_model.error();
    m_outputPanel->setVisible(!output.isEmpty() || !error.isEmpty());
    m_output->setVisible(!output.isEmpty());
    if (!output.isEmpty() && m_output->toPlainText() != output)
        m_output->setPlainText(output);
    m_error->setVisible(!error.isEmpty());
    m_error->setText(QStringLiteral("✕ ") + error);
}

} // namespace quindle::ui
