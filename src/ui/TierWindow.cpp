#include "ui/TierWindow.h"

#include "mover/LocalFolderMover.h"
#include "tier/PairHistory.h"
#include "tier/PairingModel.h"
#include "tier/RsyncBanner.h"
#include "transfers/RemoteManager.h"
#include "ui/Confirmation.h"
#include "ui/ManifestsPanel.h"
#include "ui/MoveJobList.h"
#include "ui/MoverLogPanel.h"
#include "ui/MoverSettingsPanel.h"
#include "ui/Popover.h"
#include "ui/RecentPairsPanel.h"
#include "ui/RsyncBannerView.h"
#include "ui/Theme.h"
#include "ui/TierPane.h"
#include "ui/ToastLabel.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quindle::ui {

namespace {

constexpr int kMiddleColumns = 33;

int arrowKey(MoveAction action, Side to) {
    return static_cast<int>(action) * 2 + (to == Side::Right ? 1 : 0);
}

QString actionName(MoveAction action) {
    switch (action) {
    case MoveAction::Move:
        return QStringLiteral("Move");
    case MoveAction::Merge:
        return QStringLiteral("Merge");
    case MoveAction::Relocate:
        return QStringLiteral("Relocate");
    }
    return QString();
}

QString arrowName(MoveAction action, Side to) {
    return actionName(action) +
           (to == Side::Right ? QStringLiteral(" to the right") : QStringLiteral(" to the left"));
}

} // namespace

TierWindow::TierWindow(PairingModel &pairing, TierOperations &operations, RsyncBanner &banner,
                       LocalFolderMover &mover, MoverSettings &settings, MoverLog &log,
                       PairHistory &history, QWidget *parent)
    : QWidget(parent)
    , m_pairing(pairing)
    , m_operations(operations) {
    if (m_pairing.path(Side::Left).isEmpty() && m_pairing.path(Side::Right).isEmpty())
        m_pairing.setPaths(m_pairing.homeFolder(Side::Left), m_pairing.homeFolder(Side::Right));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 12);
    layout->setSpacing(8);

    auto *bannerView = new RsyncBannerView(banner, this);
    layout->addWidget(bannerView);

    auto *tools = new QHBoxLayout;
    tools->setSpacing(6);
    auto *recentPanel = new RecentPairsPanel(history, pairing);
    m_recent = new PopoverButton(QStringLiteral("Recent Pairs"), recentPanel, this);
    name(m_recent, QStringLiteral("Recent Pairs"),
         QStringLiteral("Restore, pin or forget the pairs you made before"));
    auto *homeBoth = new QToolButton(this);
    homeBoth->setText(QStringLiteral("Home"));
    homeBoth->setFocusPolicy(Qt::StrongFocus);
    name(homeBoth, QStringLiteral("Home both panes"),
         QStringLiteral("Unpair and reset both panes to their home folders"));
    auto *manifestsPanel = new ManifestsPanel(mover, operations);
    m_manifests = new PopoverButton(QStringLiteral("Manifests"), manifestsPanel, this);
    name(m_manifests, QStringLiteral("Manifests"), ManifestsPanel::helpText());
    auto *logPanel = new MoverLogPanel(log);
    m_log = new PopoverButton(QStringLiteral("Live Log"), logPanel, this);
    name(m_log, QStringLiteral("Live Log"),
         QStringLiteral("Live transfer logs — exact rsync command, file-by-file stdout, stderr, "
                        "and phase transitions for every move."));
    auto *settingsPanel = new MoverSettingsPanel(settings);
    m_settings = new PopoverButton(QStringLiteral("Settings"), settingsPanel, this);
    name(m_settings, QStringLiteral("Mover settings"),
         QStringLiteral("Parallel transfers and verification level"));
    tools->addWidget(m_recent);
    tools->addWidget(homeBoth);
    tools->addStretch(1);
    tools->addWidget(m_manifests);
    tools->addWidget(m_log);
    tools->addWidget(m_settings);
    layout->addLayout(tools);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    auto *panes = new QWidget(splitter);
    auto *panesLayout = new QHBoxLayout(panes);
    panesLayout->setContentsMargins(0, 0, 0, 6);
    panesLayout->setSpacing(10);
    m_left = new TierPane(Side::Left, pairing, panes);
    panesLayout->addWidget(m_left, 1);
    panesLayout->addWidget(buildMiddleColumn());
    m_right = new TierPane(Side::Right, pairing, panes);
    panesLayout->addWidget(m_right, 1);
    splitter->addWidget(panes);
    m_jobs = new MoveJobList(mover, splitter);
    m_jobs->setContentsMargins(0, 6, 0, 0);
    splitter->addWidget(m_jobs);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({330, 210});
    layout->addWidget(splitter, 1);

    m_toast = new ToastLabel(this);

    connect(homeBoth, &QToolButton::clicked, &m_pairing, &PairingModel::homeBoth);
    connect(recentPanel, &RecentPairsPanel::restored, m_recent->popover(), &QWidget::close);
    connect(bannerView, &RsyncBannerView::copied, this,
            [this] { showToast(RsyncBanner::copiedToast()); });
    connect(&m_pairing, &PairingModel::toastPosted, this, &TierWindow::showToast);
    connect(&m_operations, &TierOperations::toastPosted, this, &TierWindow::showToast);
    connect(&banner, &RsyncBanner::toastPosted, this, &TierWindow::showToast);
    connect(&banner, &RsyncBanner::changed, this, &TierWindow::presentArrows);
    connect(&m_pairing, &PairingModel::pairChanged, this, &TierWindow::presentPair);
    connect(&m_pairing, &PairingModel::pathsChanged, this, &TierWindow::presentPair);
    connect(&m_operations, &TierOperations::confirmationChanged, this,
            &TierWindow::presentConfirmation);
    connect(m_toast, &ToastLabel::posted, this, &TierWindow::placeToast);
    presentPair();
}

TierWindow::~TierWindow() {
    // A replace nobody is asking about any more must not wait for an answer.
    m_operations.disconnect(this);
    if (m_confirmation)
        m_operations.dismissConfirmation();
}

QWidget *TierWindow::buildMiddleColumn() {
    auto *column = new QWidget(this);
    column->setFixedWidth(textWidth(column, kMiddleColumns));
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    // Level with the top of the listings, below the pane titles and path bars.
    layout->addSpacing(QFontMetrics(font()).height() + 34);

    m_pair = new QPushButton(column);
    dimWhenDisabled(m_pair);
    layout->addWidget(m_pair);
    m_pairStatus = new QLabel(column);
    m_pairStatus->setAlignment(Qt::AlignCenter);
    m_pairStatus->setWordWrap(true);
    layout->addWidget(m_pairStatus);
    m_pairHelp = caption(QString(), column);
    m_pairHelp->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    layout->addWidget(m_pairHelp);

    auto *rule = new QFrame(column);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addSpacing(4);
    layout->addWidget(rule);
    layout->addSpacing(4);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    int row = 0;
    for (MoveAction action : {MoveAction::Move, MoveAction::Merge, MoveAction::Relocate}) {
        for (Side to : {Side::Left, Side::Right}) {
            auto *button = new QToolButton(column);
            button->setText(to == Side::Right ? QStringLiteral("→") : QStringLiteral("←"));
            button->setFocusPolicy(Qt::StrongFocus);
            button->setMinimumSize(36, 28);
            dimWhenDisabled(button);
            connect(button, &QToolButton::clicked, this,
                    [this, action, to] { m_operations.move(otherSide(to), to, action); });
            m_arrows.insert(arrowKey(action, to), button);
            grid->addWidget(button, row, to == Side::Right ? 2 : 0);
        }
        auto *label = new QLabel(actionName(action), column);
        label->setAlignment(Qt::AlignCenter);
        label->setToolTip(helpText(action));
        grid->addWidget(label, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    m_arrowsReason = caption(QString(), column);
    m_arrowsReason->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    layout->addWidget(m_arrowsReason);
    layout->addStretch(1);

    connect(m_pair, &QPushButton::clicked, this, [this] {
        if (m_pairing.isPaired())
            m_pairing.unpair();
        else
            m_pairing.pair();
    });
    return column;
}

QToolButton *TierWindow::arrow(MoveAction action, Side to) const {
    return m_arrows.value(arrowKey(action, to));
}

void TierWindow::presentPair() {
    const bool paired = m_pairing.isPaired();
    m_pair->setText(paired ? QStringLiteral("Unpair") : QStringLiteral("Pair"));
    m_pair->setEnabled(paired || m_pairing.canPair());
    if (paired) {
        name(m_pair, QStringLiteral("Unpair"),
             QStringLiteral("Let the panes navigate independently again"));
        m_pairStatus->setText(QStringLiteral("Hierarchy preserved"));
        setTone(m_pairStatus, Tone::Good);
        m_pairStatus->setToolTip(m_pairing.hierarchyDescription());
        m_pairStatus->setAccessibleDescription(m_pairing.hierarchyDescription());
        m_pairHelp->setText(QStringLiteral("Moves keep the relative path below the two pair "
                                           "roots."));
    } else {
        name(m_pair, QStringLiteral("Pair"), m_pairing.pairControlHelp());
        const std::optional<QString> status = m_pairing.pairControlStatus();
        m_pairStatus->setText(status.value_or(QString()));
        setTone(m_pairStatus, Tone::Warning);
        m_pairStatus->setToolTip(QString());
        m_pairHelp->setText(m_pairing.pairControlHelp());
    }
    m_pairStatus->setVisible(!m_pairStatus->text().isEmpty());
    presentArrows();
}

void TierWindow::presentArrows() {
    const std::optional<QString> reason = m_operations.arrowsDisabledReason();
    for (MoveAction action : {MoveAction::Move, MoveAction::Merge, MoveAction::Relocate}) {
        for (Side to : {Side::Left, Side::Right}) {
            QToolButton *button = arrow(action, to);
            button->setEnabled(!reason);
            const QString help = actionName(action) + QStringLiteral(" — ") + helpText(action);
            name(button, arrowName(action, to), reason.value_or(help));
        }
    }
    m_arrowsReason->setText(reason.value_or(QString()));
    m_arrowsReason->setVisible(reason.has_value());
}

void TierWindow::presentConfirmation() {
    const std::optional<MoveConfirmRequest> &pending = m_operations.pendingConfirmation();
    if (!pending) {
        if (QMessageBox *box = m_confirmation) {
            m_confirmation = nullptr;
            box->disconnect();
            box->close();
        }
        return;
    }
    if (m_confirmation)
        return;
    QMessageBox *box = openConfirmation(
        this,
        {pending->title(), pending->title(), pending->message(), QStringLiteral("Replace"),
         QStringLiteral("Remove the existing items at the destination, then move")},
        [this](bool confirmed) {
            m_confirmation = nullptr;
            if (confirmed)
                m_operations.confirm();
            else
                m_operations.dismissConfirmation();
        });
    m_confirmation = box;
}

void TierWindow::showToast(const Toast &toast) {
    m_toast->post(toast);
}

void TierWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    placeToast();
}

void TierWindow::placeToast() {
    const QMargins margins = m_toast->contentsMargins() + m_toast->layout()->contentsMargins();
    const int textWidth = m_toast->fontMetrics().horizontalAdvance(m_toast->current().text);
    const int width = std::clamp(textWidth + margins.left() + margins.right() + 8, 160,
                                 std::max(160, std::min(600, this->width() - 48)));
    const int height = m_toast->layout()->totalHeightForWidth(width);
    m_toast->setGeometry((this->width() - width) / 2, this->height() - height - 16, width, height);
    m_toast->raise();
}

void TierWindow::followAccounts(RemoteManager &remotes) {
    const auto present = [this, &remotes] {
        QStringList names;
        for (const Remote &remote : remotes.remotes())
            names << remote.name;
        m_right->setCloudAccounts(names);
    };
    connect(&remotes, &RemoteManager::remotesChanged, this, present);
    present();
}

} // namespace quindle::ui
