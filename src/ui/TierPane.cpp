#include "ui/TierPane.h"

#include "core/BackgroundPool.h"
#include "core/PathText.h"
#include "core/WhenFinished.h"
#include "platform/HomeDirectory.h"
#include "tier/PairingModel.h"
#include "ui/Theme.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle::ui {

namespace {

constexpr int kNameRole = Qt::UserRole;

QToolButton *barButton(QStyle::StandardPixmap icon, const QString &label, const QString &help,
                       QWidget *parent) {
    auto *button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::StrongFocus);
    name(button, label, help);
    dimWhenDisabled(button);
    return button;
}

QString expandTilde(const QString &typed) {
    const QString text = typed.trimmed();
    if (text == QLatin1String("~"))
        return platform::homePath();
    if (text.startsWith(QLatin1String("~/")))
        return platform::homePath() + text.mid(1);
    return text;
}

} // namespace

TierPane::TierPane(Side side, PairingModel &pairing, QWidget *parent)
    : QWidget(parent)
    , m_side(side)
    , m_pairing(pairing) {
    const QString sideLabel = title(side);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto *titleLabel = new QLabel(sideLabel, this);
    QFont bold = titleLabel->font();
    bold.setBold(true);
    titleLabel->setFont(bold);
    layout->addWidget(titleLabel);

    auto *bar = new QHBoxLayout;
    bar->setSpacing(2);
    m_up = barButton(QStyle::SP_FileDialogToParent, QStringLiteral("Up: ") + sideLabel,
                     QStringLiteral("Go to the enclosing folder (Alt+Up)"), this);
    m_home = barButton(QStyle::SP_DirHomeIcon, QStringLiteral("Home: ") + sideLabel,
                       side == Side::Left
                           ? QStringLiteral("Go to your home folder")
                           : QStringLiteral("Go to this computer's working folder on the NVMe"),
                       this);
    m_path = new QLineEdit(this);
    name(m_path, QStringLiteral("Folder: ") + sideLabel,
         QStringLiteral("Type a folder and press Enter to go there"));
    m_refresh = barButton(QStyle::SP_BrowserReload, QStringLiteral("Refresh: ") + sideLabel,
                          QStringLiteral("Read the folder again and clear the selection"), this);
    bar->addWidget(m_up);
    bar->addWidget(m_home);
    bar->addWidget(m_path, 1);
    if (side == Side::Right) {
        m_accounts = new QToolButton(this);
        m_accounts->setText(QStringLiteral("Cloud"));
        m_accounts->setPopupMode(QToolButton::InstantPopup);
        m_accounts->setFocusPolicy(Qt::StrongFocus);
        name(m_accounts, QStringLiteral("Cloud accounts"),
             QStringLiteral("Show the root of a connected cloud account in this pane"));
        auto *menu = new QMenu(m_accounts);
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            menu->clear();
            if (m_accountNames.isEmpty())
                menu->addAction(QStringLiteral("No cloud accounts are connected."))
                    ->setEnabled(false);
            for (const QString &account : std::as_const(m_accountNames))
                menu->addAction(account + QLatin1Char(':'), this, [this, account] {
                    m_pairing.setPath(m_side, account + QLatin1Char(':'));
                });
        });
        m_accounts->setMenu(menu);
        bar->addWidget(m_accounts);
        m_mirror = new QToolButton(this);
        m_mirror->setText(QStringLiteral("Mirror"));
        m_mirror->setFocusPolicy(Qt::StrongFocus);
        bar->addWidget(m_mirror);
    }
    bar->addWidget(m_refresh);
    layout->addLayout(bar);

    m_listing = new QTreeWidget(this);
    m_listing->setColumnCount(2);
    m_listing->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size")});
    m_listing->setRootIsDecorated(false);
    m_listing->setUniformRowHeights(true);
    m_listing->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listing->setAllColumnsShowFocus(true);
    m_listing->header()->setStretchLastSection(false);
    m_listing->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_listing->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_listing->header()->setSectionsMovable(false);
    name(m_listing, QStringLiteral("Entries: ") + sideLabel,
         QStringLiteral("Select items to move; Enter or a double click opens a folder"));
    auto *emptyLayout = new QVBoxLayout(m_listing->viewport());
    m_empty = caption(QStringLiteral("This folder is empty."), m_listing->viewport());
    m_empty->setAlignment(Qt::AlignCenter);
    emptyLayout->addWidget(m_empty);
    m_empty->setWordWrap(true);
    m_empty->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_empty->hide();
    layout->addWidget(m_listing, 1);
    m_slowTimer.setInterval(1000);
    connect(&m_slowTimer, &QTimer::timeout, this, &TierPane::presentSlowLoading);

    connect(m_up, &QToolButton::clicked, this, [this] { m_pairing.navigateUp(m_side); });
    connect(m_home, &QToolButton::clicked, this, [this] { m_pairing.navigateHome(m_side); });
    connect(m_refresh, &QToolButton::clicked, this, [this] { m_pairing.refresh(m_side); });
    connect(m_path, &QLineEdit::returnPressed, this, [this] { goTo(m_path->text()); });
    if (m_mirror)
        connect(m_mirror, &QToolButton::clicked, this, [this] { m_pairing.goToMirror(); });
    auto *up = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Up), this);
    up->setContext(Qt::WidgetWithChildrenShortcut);
    connect(up, &QShortcut::activated, this, [this] { m_pairing.navigateUp(m_side); });

    connect(m_listing, &QTreeWidget::activated, this, [this](const QModelIndex &index) {
        m_pairing.enter(m_side, index.siblingAtColumn(0).data(kNameRole).toString());
    });
    connect(m_listing, &QTreeWidget::itemSelectionChanged, this, &TierPane::pushSelection);
    connect(&m_pairing, &PairingModel::selectionChanged, this, [this](Side changed) {
        if (changed == m_side)
            pullSelection();
    });
    connect(&m_pairing, &PairingModel::reloadRequested, this, [this](Side changed) {
        if (changed == m_side)
            reload();
    });
    connect(&m_pairing, &PairingModel::pathsChanged, this, &TierPane::presentPath);
    connect(&m_pairing, &PairingModel::pairChanged, this, &TierPane::presentPath);
    presentPath();
    reload();
}

QString TierPane::title(Side side) {
    return side == Side::Left ? QStringLiteral("Internal disk") : QStringLiteral("NVMe");
}

QStringList TierPane::shownNames() const {
    QStringList names;
    for (int i = 0; i < m_listing->topLevelItemCount(); ++i)
        names << m_listing->topLevelItem(i)->data(0, kNameRole).toString();
    return names;
}

void TierPane::setCloudAccounts(const QStringList &names) {
    m_accountNames = names;
}

QString TierPane::statusText() const {
    return m_empty->isVisible() ? m_empty->text() : QString();
}

void TierPane::showStatus(const QString &text) {
    m_empty->setText(text);
    m_empty->setVisible(!text.isEmpty());
}

void TierPane::presentSlowLoading() {
    const qint64 seconds = m_loadingFor.elapsed() / 1000;
    if (seconds >= cloudSlowAfterSeconds)
        showStatus(cloudLoadingText() + QLatin1Char('\n') + cloudSlowText(int(seconds)));
}

void TierPane::reload() {
    const QString folder = m_pairing.path(m_side);
    const quint64 generation = ++m_generation;
    m_slowTimer.stop();
    if (folder.isEmpty()) {
        present(folder, {});
        return;
    }
    if (isCloudPath(folder)) {
        {
            const QSignalBlocker quiet(m_listing);
            m_listing->clear();
        }
        showStatus(cloudLoadingText());
        m_loadingFor.start();
        m_slowTimer.start();
        whenFinished(QtConcurrent::run(blockingPool(), listRcloneEntries, folder), this,
                     [this, folder, generation](const CloudListing &listing) {
                         if (generation != m_generation)
                             return;
                         m_slowTimer.stop();
                         present(folder, listing.entries);
                         if (listing.error)
                             showStatus(cloudFailureTitle() + QLatin1Char('\n') + *listing.error);
                     });
        return;
    }
    whenFinished(QtConcurrent::run(blockingPool(), listEntries, folder, m_pairing.appsRoots()),
                 this, [this, folder, generation](const QList<FolderEntry> &entries) {
                     if (generation == m_generation)
                         present(folder, entries);
                 });
}

void TierPane::present(const QString &folder, const QList<FolderEntry> &entries) {
    const bool sameFolder = folder == m_shownFolder;
    const QString current = sameFolder && m_listing->currentItem()
                                ? m_listing->currentItem()->data(0, kNameRole).toString()
                                : QString();
    {
        const QSignalBlocker quiet(m_listing);
        m_listing->clear();
        QStyle *style = this->style();
        const QLocale locale;
        for (const FolderEntry &entry : entries) {
            auto *item = new QTreeWidgetItem(m_listing);
            item->setText(0, entry.name);
            item->setData(0, kNameRole, entry.name);
            QStyle::StandardPixmap icon =
                entry.isDirectory ? QStyle::SP_DirIcon : QStyle::SP_FileIcon;
            if (entry.isSymbolicLink)
                icon = entry.isDirectory ? QStyle::SP_DirLinkIcon : QStyle::SP_FileLinkIcon;
            item->setIcon(0, style->standardIcon(icon));
            if (entry.sizeBytes && !entry.isDirectory)
                item->setText(
                    1, locale.formattedDataSize(*entry.sizeBytes, 1, QLocale::DataSizeSIFormat));
            item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            if (entry.isAppBundle) {
                item->setToolTip(0, appBundleRowHint());
                item->setForeground(0, palette().brush(QPalette::PlaceholderText));
            }
            if (entry.name == current)
                m_listing->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        }
    }
    m_shownFolder = folder;
    showStatus(entries.isEmpty() && !folder.isEmpty() ? QStringLiteral("This folder is empty.")
                                                      : QString());
    pullSelection();
    Q_EMIT listed();
}

void TierPane::pushSelection() {
    if (m_syncing)
        return;
    QStringList names;
    for (int i = 0; i < m_listing->topLevelItemCount(); ++i)
        if (QTreeWidgetItem *item = m_listing->topLevelItem(i); item->isSelected())
            names << item->data(0, kNameRole).toString();
    m_pairing.setSelection(m_side, names);
}

void TierPane::pullSelection() {
    const QStringList &wanted = m_pairing.selection(m_side);
    m_syncing = true;
    {
        const QSignalBlocker quiet(m_listing);
        for (int i = 0; i < m_listing->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = m_listing->topLevelItem(i);
            item->setSelected(wanted.contains(item->data(0, kNameRole).toString()));
        }
    }
    m_listing->viewport()->update();
    m_syncing = false;
}

void TierPane::presentPath() {
    const QString folder = m_pairing.path(m_side);
    if (!m_path->hasFocus() || m_path->text().isEmpty()) {
        m_path->setText(tildePath(folder));
        m_path->setCursorPosition(m_path->text().size());
    }
    m_path->setToolTip(folder);
    m_up->setEnabled(!parentPath(folder).isEmpty());
    if (m_mirror) {
        const std::optional<MirrorOffer> offer = m_pairing.mirrorOffer();
        m_mirror->setVisible(offer && offer->path != folder);
        if (offer)
            name(m_mirror, QStringLiteral("Go to the mirror folder"), offer->text);
    }
}

void TierPane::goTo(const QString &typed) {
    // A cloud folder is listed by rclone, which says itself when it is not there.
    if (const QString cloud = typed.trimmed(); isCloudPath(cloud)) {
        m_pairing.setPath(m_side, cloud);
        m_listing->setFocus(Qt::OtherFocusReason);
        return;
    }
    const QString target = QDir::cleanPath(expandTilde(typed));
    if (!QFileInfo(target).isDir()) {
        m_path->selectAll();
        return;
    }
    m_pairing.setPath(m_side, target);
    m_listing->setFocus(Qt::OtherFocusReason);
}

} // namespace quindle::ui
