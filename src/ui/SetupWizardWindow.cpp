#include "ui/SetupWizardWindow.h"

#include "core/BackgroundPool.h"
#include "core/WhenFinished.h"
#include "insight/WizardModel.h"
#include "ui/DialogKeys.h"
#include "ui/DriveListDelegate.h"
#include "ui/StatusIcons.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace quindle::ui {

namespace {

constexpr int kStepCount = 4;

QVBoxLayout *pageLayout(QWidget *page) {
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    return layout;
}

QLabel *bodyText(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

bool isPrepFailure(const QString &result) {
    return result.startsWith(LocalDriveListing::prepFailureText(QString()));
}

} // namespace

SetupWizardWindow::SetupWizardWindow(WizardModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model) {
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 20, 24, 16);
    outer->setSpacing(12);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildWelcome());
    m_pages->addWidget(buildDrive());
    m_pages->addWidget(buildInstall());
    m_pages->addWidget(buildDone());
    outer->addWidget(m_pages, 1);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    outer->addWidget(line);

    auto *buttons = new QHBoxLayout;
    m_stepCaption = caption(QString(), this);
    buttons->addWidget(m_stepCaption, 1);
    m_back = new QPushButton(QStringLiteral("Back"), this);
    name(m_back, QStringLiteral("Back"));
    dimWhenDisabled(m_back);
    buttons->addWidget(m_back);
    m_continue = new QPushButton(QStringLiteral("Continue"), this);
    dimWhenDisabled(m_continue);
    buttons->addWidget(m_continue);
    outer->addLayout(buttons);

    m_keys = new DialogKeys(this);
    connect(m_back, &QPushButton::clicked, &m_model, &WizardModel::goBack);
    connect(m_continue, &QPushButton::clicked, this, &SetupWizardWindow::advance);
    connect(&m_model, &WizardModel::changed, this, &SetupWizardWindow::rebuild);
    rebuild();
}

QWidget *SetupWizardWindow::buildWelcome() {
    auto *page = new QWidget(this);
    auto *layout = pageLayout(page);
    layout->addStretch(1);
    auto *icon = new QLabel(page);
    icon->setPixmap(tierIcon(this, 72));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    auto *title = heading(QStringLiteral("Welcome to Quindle"), page);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    auto *text = bodyText(
        QStringLiteral("Quindle makes an external drive a second storage tier for this "
                       "computer's internal disk. It moves the folders you choose to the drive, "
                       "checks every copy and leaves a link behind, so your programs find their "
                       "files where they always were. A small background service watches free "
                       "space and applies your rules."),
        page);
    text->setAlignment(Qt::AlignHCenter);
    text->setContentsMargins(40, 0, 40, 0);
    layout->addWidget(text);
    layout->addStretch(2);
    return page;
}

QWidget *SetupWizardWindow::buildDrive() {
    auto *page = new QWidget(this);
    auto *layout = pageLayout(page);
    layout->addWidget(heading(QStringLiteral("Choose your external drive"), page));
    layout->addWidget(
        caption(QStringLiteral("Quindle moves folders to this drive. Preparing it adds a working "
                               "folder for this computer; nothing on the drive is erased."),
                page));

    m_skip = new QCheckBox(QStringLiteral("Skip this step and choose a drive later"), page);
    name(m_skip, QStringLiteral("Skip choosing a drive"));
    layout->addWidget(m_skip);

    m_drives = new QListWidget(page);
    m_drives->setItemDelegate(new DriveListDelegate(m_drives));
    m_drives->setUniformItemSizes(true);
    m_drives->installEventFilter(this);
    name(m_drives, QStringLiteral("External drives"),
         QStringLiteral("Click a drive, or press Return, to prepare it"));
    dimWhenDisabled(m_drives);
    layout->addWidget(m_drives, 1);

    auto *status = new QHBoxLayout;
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_listStatus = bodyText(QString(), page);
    m_listHint = caption(QString(), page);
    texts->addWidget(m_listStatus);
    texts->addWidget(m_listHint);
    status->addLayout(texts, 1);
    m_rescan = new QPushButton(QStringLiteral("Rescan"), page);
    name(m_rescan, QStringLiteral("Rescan"), QStringLiteral("Look for external drives again"));
    dimWhenDisabled(m_rescan);
    status->addWidget(m_rescan, 0, Qt::AlignTop);
    layout->addLayout(status);

    auto *prep = new QHBoxLayout;
    m_prepBusy = new QProgressBar(page);
    m_prepBusy->setRange(0, 0);
    m_prepBusy->setTextVisible(false);
    m_prepBusy->setMaximumWidth(80);
    name(m_prepBusy, QStringLiteral("Preparing drive"));
    prep->addWidget(m_prepBusy, 0, Qt::AlignTop);
    m_prep = bodyText(QString(), page);
    m_prep->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name(m_prep, QStringLiteral("Drive preparation"));
    prep->addWidget(m_prep, 1);
    layout->addLayout(prep);

    connect(m_skip, &QCheckBox::toggled, &m_model, &WizardModel::setSkipDrive);
    connect(m_drives, &QListWidget::itemClicked, this, [this] { pickCurrent(); });
    connect(m_rescan, &QPushButton::clicked, &m_model.driveListing(), &LocalDriveListing::refresh);
    return page;
}

QWidget *SetupWizardWindow::buildInstall() {
    auto *page = new QWidget(this);
    auto *layout = pageLayout(page);
    layout->addWidget(heading(WizardModel::installTitle(), page));
    layout->addWidget(
        caption(QStringLiteral("Quindle copies its service scripts to ~/.quindle, adds the qndl "
                               "command and starts the service for your user. It runs in the "
                               "background from now on, also after you log in again."),
                page));
    m_rclone = caption(QString(), page);
    layout->addWidget(m_rclone);

    m_log = new QListWidget(page);
    m_log->setSelectionMode(QAbstractItemView::NoSelection);
    m_log->setFocusPolicy(Qt::NoFocus);
    m_log->setWordWrap(true);
    name(m_log, QStringLiteral("Installation log"));
    layout->addWidget(m_log, 1);

    m_progress = new QProgressBar(page);
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    name(m_progress, QStringLiteral("Installation progress"));
    layout->addWidget(m_progress);

    auto *row = new QHBoxLayout;
    m_installStatus = bodyText(QString(), page);
    m_installStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name(m_installStatus, QStringLiteral("Installation result"));
    row->addWidget(m_installStatus, 1);
    m_install = new QPushButton(WizardModel::installButton(), page);
    dimWhenDisabled(m_install);
    row->addWidget(m_install, 0, Qt::AlignTop);
    layout->addLayout(row);

    connect(m_install, &QPushButton::clicked, &m_model, &WizardModel::install);

    // Whether rclone is there asks the system; keep that off this thread.
    whenFinished(QtConcurrent::run(
                     blockingPool(),
                     [] {
                         return std::pair{Installer::rcloneInstalled(), Installer::rcloneHint()};
                     }),
                 this, [this](const std::pair<bool, QString> &rclone) {
                     m_rclone->setText(
                         rclone.first
                             ? QStringLiteral("Optional: rclone, for cloud transfers, is "
                                              "installed.")
                             : QStringLiteral("Optional: rclone, for cloud transfers, is not "
                                              "installed (%1).")
                                   .arg(rclone.second));
                 });
    return page;
}

QWidget *SetupWizardWindow::buildDone() {
    auto *page = new QWidget(this);
    auto *layout = pageLayout(page);
    layout->addStretch(1);
    auto *icon = new QLabel(page);
    icon->setPixmap(checkIcon(this, 56));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    auto *title = heading(WizardModel::doneTitle(), page);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    auto *text = bodyText(WizardModel::doneText(), page);
    text->setAlignment(Qt::AlignHCenter);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text);
    layout->addStretch(2);
    return page;
}

void SetupWizardWindow::advance() {
    if (m_model.step() == WizardModel::Step::Done)
        m_model.finish();
    else
        m_model.goNext();
}

void SetupWizardWindow::rebuild() {
    const WizardModel::Step step = m_model.step();
    const int index = static_cast<int>(step);
    const bool pageChanged = m_pages->currentIndex() != index;
    m_pages->setCurrentIndex(index);
    m_stepCaption->setText(QStringLiteral("Step %1 of %2").arg(index + 1).arg(kStepCount));

    const bool done = step == WizardModel::Step::Done;
    m_continue->setText(done ? WizardModel::finishButton() : QStringLiteral("Continue"));
    name(m_continue, m_continue->text());
    m_continue->setEnabled(m_model.canAdvance());
    m_back->setEnabled(step != WizardModel::Step::Welcome && !m_model.isInstalling());

    if (step == WizardModel::Step::Drive && !m_listedOnce) {
        m_listedOnce = true;
        m_model.driveListing().refresh();
    }
    rebuildDrive();
    rebuildInstall();

    // Return does the page's main thing: installing on the install page until that is done.
    const bool installFirst = step == WizardModel::Step::Install && !m_model.canAdvance();
    m_keys->setDefaultButton(installFirst ? m_install : m_continue);
    if (pageChanged) {
        QPushButton *primary = installFirst ? m_install : m_continue;
        if (primary->isEnabled())
            primary->setFocus();
        else if (step == WizardModel::Step::Drive)
            m_drives->setFocus();
    }
}

void SetupWizardWindow::rebuildDrive() {
    LocalDriveListing &listing = m_model.driveListing();
    const std::optional<Drive> &selected = m_model.selectedDrive();

    {
        const QSignalBlocker quiet(m_drives);
        QList<QString> shown;
        for (int row = 0; row < m_drives->count(); ++row)
            shown << m_drives->item(row)->data(DriveListDelegate::PathRole).toString();
        QList<QString> wanted;
        for (const Drive &drive : listing.drives())
            wanted << drive.path;
        if (shown != wanted) {
            m_drives->clear();
            for (const Drive &drive : listing.drives())
                m_drives->addItem(DriveListDelegate::makeItem(drive));
        }
        for (int row = 0; row < m_drives->count(); ++row) {
            if (selected &&
                m_drives->item(row)->data(DriveListDelegate::PathRole).toString() == selected->path)
                m_drives->setCurrentRow(row);
        }
    }
    {
        const QSignalBlocker quiet(m_skip);
        m_skip->setChecked(m_model.skipDrive());
    }
    m_drives->setEnabled(!m_model.skipDrive());
    m_rescan->setEnabled(!listing.isListing());

    m_listStatus->setText(listing.statusText());
    m_listStatus->setVisible(!listing.statusText().isEmpty());
    m_listHint->setText(listing.emptyHint());
    m_listHint->setVisible(!listing.emptyHint().isEmpty());

    m_prepBusy->setVisible(m_model.isPreparing());
    if (m_model.isPreparing() && selected) {
        m_prep->setText(QStringLiteral("Preparing %1…").arg(selected->name));
        setTone(m_prep, Tone::Neutral);
    } else if (const std::optional<QString> &result = m_model.prepResult()) {
        m_prep->setText(*result);
        setTone(m_prep, isPrepFailure(*result) ? Tone::Bad : Tone::Good);
    } else {
        m_prep->clear();
    }
    m_prep->setVisible(!m_prep->text().isEmpty());
}

void SetupWizardWindow::rebuildInstall() {
    Installer &installer = m_model.installer();

    const QStringList &log = installer.log();
    bool appendOnly = m_log->count() <= log.size();
    for (int row = 0; appendOnly && row < m_log->count(); ++row)
        appendOnly = m_log->item(row)->text() == log.at(row);
    if (!appendOnly)
        m_log->clear();
    if (m_log->count() < log.size()) {
        for (qsizetype row = m_log->count(); row < log.size(); ++row)
            m_log->addItem(log.at(row));
        m_log->scrollToBottom();
    }
    m_progress->setValue(qRound(installer.fractionComplete() * 100));

    const Installer::Phase &phase = installer.phase();
    const bool failed = phase.step == Installer::Phase::Step::Failed;
    const bool installed = phase.step == Installer::Phase::Step::Done;
    if (installed) {
        m_installStatus->setText(WizardModel::installedText());
        setTone(m_installStatus, Tone::Good);
    } else if (failed && !m_model.isInstalling()) {
        m_installStatus->setText(phase.detail);
        setTone(m_installStatus, Tone::Bad);
    } else if (m_model.isInstalling()) {
        m_installStatus->setText(QStringLiteral("Installing…"));
        setTone(m_installStatus, Tone::Neutral);
    } else {
        m_installStatus->clear();
    }
    m_install->setText(failed ? WizardModel::retryButton() : WizardModel::installButton());
    name(m_install, m_install->text());
    m_install->setVisible(!installed);
    m_install->setEnabled(!m_model.isInstalling());
}

void SetupWizardWindow::pickCurrent() {
    QListWidgetItem *item = m_drives->currentItem();
    if (!item || m_model.skipDrive())
        return;
    const QString path = item->data(DriveListDelegate::PathRole).toString();
    const std::optional<Drive> &selected = m_model.selectedDrive();
    if (selected && selected->path == path && m_model.isPreparing())
        return; // a double click: the first one is already preparing it
    for (const Drive &drive : m_model.driveListing().drives()) {
        if (drive.path == path) {
            m_model.pickDrive(drive);
            return;
        }
    }
}

bool SetupWizardWindow::eventFilter(QObject *watched, QEvent *event) {
    // Return on a drive prepares it, and stops there: it must not also press Continue.
    if (watched == m_drives && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            pickCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quindle::ui
