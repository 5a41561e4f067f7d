#include "ui/RemoteFolderDialog.h"

#include "ui/RemoteIcon.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

enum Body { FolderList, Status };

} // namespace

RemoteFolderDialog::RemoteFolderDialog(RemoteManager &remotes, const Remote &remote,
                                       QWidget *parent)
    : QDialog(parent)
    , m_browser(remotes, remote) {
    setWindowTitle(QStringLiteral("Choose a Folder on %1").arg(remote.name));
    auto *layout = new QVBoxLayout(this);

    auto *header = new QHBoxLayout;
    auto *icon = new QLabel(this);
    const int size = textHeight(this, 1) * 3 / 2;
    icon->setPixmap(remoteIcon(this, remote.type).pixmap(size, size));
    header->addWidget(icon);
    header->addWidget(heading(remote.name, this), 1);
    auto *refresh = new QToolButton(this);
    refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    name(refresh, QStringLiteral("Refresh"), QStringLiteral("Refresh the folder list"));
    refresh->setToolTip(QStringLiteral("Refresh the folder list"));
    connect(refresh, &QToolButton::clicked, &m_browser, &RemoteFolderBrowser::refresh);
    header->addWidget(refresh);
    layout->addLayout(header);

    m_crumbs = new QHBoxLayout;
    m_crumbs->setSpacing(2);
    layout->addLayout(m_crumbs);

    m_body = new QStackedWidget(this);
    m_folders = new QListWidget(m_body);
    name(m_folders, QStringLiteral("Folders"));
    // Queued: descending clears the list whose item is being activated.
    connect(m_folders, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        QMetaObject::invokeMethod(
            this, [this, folder = item->text()] { m_browser.descend(folder); },
            Qt::QueuedConnection);
    });
    m_body->addWidget(m_folders);
    auto *status = new QWidget(m_body);
    auto *statusColumn = new QVBoxLayout(status);
    statusColumn->addStretch(1);
    m_statusTitle = heading(QString(), status);
    m_statusTitle->setAlignment(Qt::AlignCenter);
    m_statusText = caption(QString(), status);
    m_statusText->setAlignment(Qt::AlignCenter);
    m_statusText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusColumn->addWidget(m_statusTitle);
    statusColumn->addWidget(m_statusText);
    statusColumn->addStretch(2);
    m_body->addWidget(status);
    layout->addWidget(m_body, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *use = new QPushButton(QStringLiteral("Use This Folder"), this);
    use->setDefault(true);
    connect(use, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(cancel);
    buttons->addWidget(use);
    layout->addLayout(buttons);
    setMinimumSize(textWidth(this, 64), textHeight(this, 22));

    connect(&m_browser, &RemoteFolderBrowser::changed, this, &RemoteFolderDialog::present);
    m_browser.refresh();
}

void RemoteFolderDialog::present() {
    // A crumb may be the button whose click got us here: it goes once its signal is done.
    while (QLayoutItem *item = m_crumbs->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    const QList<RemoteFolderBrowser::Crumb> crumbs = m_browser.crumbs();
    for (qsizetype i = 0; i < crumbs.size(); ++i) {
        if (i > 0)
            m_crumbs->addWidget(new QLabel(QStringLiteral("›"), this));
        auto *crumb = new QToolButton(this);
        crumb->setText(crumbs.at(i).first);
        crumb->setAutoRaise(true);
        crumb->setToolTip(QStringLiteral("Jump to ") + crumbs.at(i).first);
        crumb->setEnabled(i + 1 < crumbs.size());
        connect(crumb, &QToolButton::clicked, &m_browser,
                [this, path = crumbs.at(i).second] { m_browser.jumpTo(path); });
        m_crumbs->addWidget(crumb);
    }
    m_crumbs->addStretch(1);

    m_folders->clear();
    const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
    for (const QString &name : m_browser.folders())
        new QListWidgetItem(folder, name, m_folders);
    if (m_browser.isLoading()) {
        m_statusTitle->setText(RemoteFolderBrowser::loadingText());
        m_statusText->clear();
    } else if (m_browser.error()) {
        m_statusTitle->setText(RemoteFolderBrowser::errorTitle());
        m_statusText->setText(*m_browser.error());
    } else {
        m_statusTitle->setText(RemoteFolderBrowser::emptyTitle());
        m_statusText->setText(RemoteFolderBrowser::emptyHint());
    }
    m_body->setCurrentIndex(m_browser.folders().isEmpty() || m_browser.isLoading() ? Status
                                                                                   : FolderList);
}

} // namespace quindle::ui
