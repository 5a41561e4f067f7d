#include "ui/RemotesWindow.h"

#include "core/WhenFinished.h"
#include "platform/InstallHints.h"
#include "transfers/RemoteManager.h"
#include "transfers/SyncManager.h"
#include "ui/AddAccountDialog.h"
#include "ui/Confirmation.h"
#include "ui/RemoteIcon.h"
#include "ui/StatusIcons.h"
#include "ui/Theme.h"

#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

QLabel *selectable(QWidget *parent) {
    auto *label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

// The rclone banner's instruction: the package manager's command, never another platform's.
QString installSentence() {
    return QStringLiteral("Quindle uses rclone to talk to Google Drive, Google Photos, and other "
                          "cloud services. Install it via your package manager, then click "
                          "Re-check.");
}

} // namespace

RemotesWindow::RemotesWindow(RemoteManager &remotes, SyncManager &transfers, QWidget *parent)
    : QWidget(parent)
    , m_remotes(remotes)
    , m_transfers(transfers) {
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addWidget(heading(QStringLiteral("Remotes & Accounts"), this));
    layout->addWidget(
        caption(QStringLiteral("Google Drive, Google Photos, and other cloud endpoints"), this));

    m_banner = card(this);
    auto *bannerRow = new QHBoxLayout(m_banner);
    auto *bannerText = new QVBoxLayout;
    QLabel *bannerTitle = new QLabel(QStringLiteral("rclone is not installed"), m_banner);
    setTone(bannerTitle, Tone::Bad);
    bannerText->addWidget(bannerTitle);
    bannerText->addWidget(caption(installSentence(), m_banner));
    const QString command = platform::installCommand(QStringLiteral("rclone"));
    QLabel *commandLine = selectable(m_banner);
    commandLine->setText(
        command.isEmpty() ? platform::runInstallInTerminal(QStringLiteral("rclone")) : command);
    commandLine->setFont(QFont(QStringLiteral("monospace")));
    name(commandLine, QStringLiteral("Install command"));
    bannerText->addWidget(commandLine);
    bannerRow->addLayout(bannerText, 1);
    QPushButton *recheck = pushButton(QStringLiteral("Re-check"), m_banner);
    connect(recheck, &QPushButton::clicked, this, [this] {
        m_transfers.refreshRcloneStatus();
        m_remotes.refresh();
    });
    bannerRow->addWidget(recheck, 0, Qt::AlignTop);
    layout->addWidget(m_banner);

    auto *toolbar = new QHBoxLayout;
    m_add = pushButton(QStringLiteral("Add Account"), this);
    connect(m_add, &QPushButton::clicked, this, &RemotesWindow::openAddAccount);
    m_refresh = pushButton(QStringLiteral("Refresh"), this);
    connect(m_refresh, &QPushButton::clicked, &m_remotes, &RemoteManager::refresh);
    dimWhenDisabled(m_add);
    toolbar->addWidget(m_add);
    toolbar->addWidget(m_refresh);
    toolbar->addStretch(1);
    layout->addLayout(toolbar);

    auto *split = new QSplitter(this);
    m_listPages = new QStackedWidget(split);
    m_list = new QListWidget(m_listPages);
    m_list->setMinimumWidth(textWidth(this, 26));
    m_list->setIconSize(QSize(textHeight(this, 1) * 3 / 2, textHeight(this, 1) * 3 / 2));
    name(m_list, QStringLiteral("Accounts"));
    connect(m_list, &QListWidget::currentRowChanged, this, &RemotesWindow::refreshDetail);
    m_listPages->addWidget(m_list);
    auto *empty = new QWidget(m_listPages);
    auto *emptyColumn = new QVBoxLayout(empty);
    emptyColumn->addStretch(1);
    QLabel *emptyTitle = heading(QStringLiteral("No accounts yet"), empty);
    emptyTitle->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(emptyTitle);
    QLabel *emptyHint =
        caption(QStringLiteral("Add a Google Drive, Google Photos, or other cloud account to use "
                               "as a transfer source or destination."),
                empty);
    emptyHint->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(emptyHint);
    emptyColumn->addStretch(2);
    m_listPages->addWidget(empty);
    split->addWidget(m_listPages);
    split->addWidget(detailPane());
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setSizes({textWidth(this, 30), textWidth(this, 50)});
    layout->addWidget(split, 1);

    connect(&m_remotes, &RemoteManager::remotesChanged, this, &RemotesWindow::refreshList);
    connect(&m_remotes, &RemoteManager::loadingChanged, this,
            [this] { m_refresh->setEnabled(!m_remotes.loading()); });
    connect(&m_transfers, &SyncManager::rcloneStatusChanged, this, &RemotesWindow::refreshBanner);
    refreshList();
    refreshBanner();
}

QWidget *RemotesWindow::detailPane() {
    m_detailPages = new QStackedWidget(this);
    QLabel *nothing = caption(QStringLiteral("Select a remote to view details"), m_detailPages);
    nothing->setAlignment(Qt::AlignCenter);
    m_detailPages->addWidget(nothing);

    auto *detail = new QWidget(m_detailPages);
    auto *column = new QVBoxLayout(detail);
    column->setContentsMargins(12, 0, 0, 0);
    auto *facts = new QFormLayout;
    m_name = selectable(detail);
    m_type = selectable(detail);
    m_path = selectable(detail);
    facts->addRow(caption(QStringLiteral("Name"), detail), m_name);
    facts->addRow(caption(QStringLiteral("Type"), detail), m_type);
    facts->addRow(caption(QStringLiteral("Path"), detail), m_path);
    column->addLayout(facts);

    auto *testRow = new QHBoxLayout;
    m_test = pushButton(QStringLiteral("Test connection"), detail);
    connect(m_test, &QPushButton::clicked, this, &RemotesWindow::testSelected);
    testRow->addWidget(m_test);
    testRow->addStretch(1);
    column->addLayout(testRow);
    auto *resultRow = new QHBoxLayout;
    m_testMark = new QLabel(detail);
    resultRow->addWidget(m_testMark, 0, Qt::AlignTop);
    m_testResult = selectable(detail);
    name(m_testResult, QStringLiteral("Connection test result"));
    resultRow->addWidget(m_testResult, 1);
    column->addLayout(resultRow);
    column->addStretch(1);

    auto *removeRow = new QHBoxLayout;
    removeRow->addStretch(1);
    m_remove = pushButton(QStringLiteral("Remove"), detail);
    connect(m_remove, &QPushButton::clicked, this, &RemotesWindow::removeSelected);
    removeRow->addWidget(m_remove);
    column->addLayout(removeRow);
    m_removeError = selectable(detail);
    setTone(m_removeError, Tone::Bad);
    column->addWidget(m_removeError);
    m_detailPages->addWidget(detail);
    return m_detailPages;
}

QString RemotesWindow::selectedName() const {
    const QListWidgetItem *item = m_list->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void RemotesWindow::refreshList() {
    const QString selected = selectedName();
    m_list->clear();
    for (const Remote &remote : m_remotes.remotes()) {
        auto *item = new QListWidgetItem(
            remoteIcon(this, remote.type),
            remote.name + QLatin1Char('\n') + remoteTypeDisplayName(remote.type), m_list);
        item->setData(Qt::UserRole, remote.name);
        if (remote.name == selected)
            m_list->setCurrentItem(item);
    }
    m_listPages->setCurrentIndex(m_remotes.remotes().isEmpty() && m_remotes.hasLoaded() ? 1 : 0);
    refreshDetail();
}

void RemotesWindow::refreshDetail() {
    const std::optional<Remote> remote = m_remotes.remote(selectedName());
    m_detailPages->setCurrentIndex(remote ? 1 : 0);
    if (!remote)
        return;
    if (m_name->text() != remote->name) {
        m_testMark->clear();
        m_testResult->clear();
        m_removeError->clear();
    }
    m_name->setText(remote->name);
    m_type->setText(remoteTypeDisplayName(remote->type));
    m_path->setText(remote->rootPath());
}

void RemotesWindow::refreshBanner() {
    const bool missing = m_transfers.rcloneProbed() && !m_transfers.rcloneInstalled();
    m_banner->setVisible(missing);
    m_add->setEnabled(!missing);
    m_add->setToolTip(missing ? QStringLiteral("Install rclone first") : QString());
}

void RemotesWindow::testSelected() {
    const QString remote = selectedName();
    m_test->setEnabled(false);
    m_testMark->clear();
    m_testResult->setText(QStringLiteral("Testing the connection…"));
    whenFinished(m_remotes.test(remote), this, [this, remote](const RemoteTestResult &result) {
        m_test->setEnabled(true);
        if (selectedName() != remote)
            return;
        const int size = fontMetrics().height();
        m_testMark->setPixmap(result.ok ? checkIcon(this, size) : errorIcon(this, size));
        m_testResult->setText(result.message);
        setTone(m_testResult, result.ok ? Tone::Good : Tone::Bad);
    });
}

void RemotesWindow::removeSelected() {
    const QString remote = selectedName();
    Question question;
    question.windowTitle = QStringLiteral("Remove Account");
    question.question = QStringLiteral("Remove remote ") + remote;
    question.details = RemoteManager::removalText();
    question.confirmLabel = QStringLiteral("Remove");
    openConfirmation(this, question, [this, remote](bool confirmed) {
        if (!confirmed)
            return;
        m_remove->setEnabled(false);
        whenFinished(m_remotes.remove(remote), this, [this](const std::optional<QString> &error) {
            m_remove->setEnabled(true);
            m_removeError->setText(error.value_or(QString()));
        });
    });
}

AddAccountDialog *RemotesWindow::openAddAccount() {
    auto *dialog = new AddAccountDialog(m_remotes, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

} // namespace quindle::ui
