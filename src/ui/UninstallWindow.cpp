#include "ui/UninstallWindow.h"

#include "core/DriveIdentity.h"
#include "core/NVMeMount.h"
#include "core/StatePaths.h"
#include "core/UninstallWizardModel.h"
#include "platform/VolumeLocations.h"
#include "ui/DialogKeys.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

QString currentWorkingFolder() {
    const QString drive = configuredNVMePaths().value(0, platform::defaultNVMePath());
    return WorkingFolder::path(drive) + QLatin1Char('/');
}

} // namespace

UninstallWindow::UninstallWindow(UninstallWizardModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model) {
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(confirmPage());
    m_pages->addWidget(workingPage());
    m_pages->addWidget(donePage());
    outer->addWidget(m_pages);
    connect(&m_model, &UninstallWizardModel::changed, this, &UninstallWindow::refresh);
    refresh();
}

QWidget *UninstallWindow::confirmPage() {
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 28, 32, 20);
    layout->setSpacing(12);
    layout->addWidget(heading(QStringLiteral("Uninstall Quindle"), page));
    layout->addWidget(
        paragraph(QStringLiteral("This will remove Quindle from this computer."), page));
    layout->addWidget(caption(QStringLiteral("Your files on the external drive are not touched. "
                                             "You can copy them back manually any time."),
                              page));

    Uninstaller &uninstaller = m_model.uninstaller();
    m_revert = new QCheckBox(page);
    connect(m_revert, &QCheckBox::toggled, this,
            [&uninstaller](bool on) { uninstaller.revertRelocations = on; });
    layout->addWidget(m_revert);
    m_revertNote = caption(QString(), page);
    m_revertNote->setContentsMargins(24, 0, 0, 0);
    layout->addWidget(m_revertNote);
    m_config = new QCheckBox(QStringLiteral("Remove configuration and logs"), page);
    connect(m_config, &QCheckBox::toggled, this,
            [&uninstaller](bool on) { uninstaller.removeConfigAndLogs = on; });
    layout->addWidget(m_config);
    m_trash = new QCheckBox(QStringLiteral("Move the install folder to the Trash"), page);
    connect(m_trash, &QCheckBox::toggled, this,
            [&uninstaller](bool on) { uninstaller.moveAppToTrash = on; });
    layout->addWidget(m_trash);

    auto *summary = new QFormLayout;
    summary->setContentsMargins(0, 8, 0, 0);
    m_service = new QLabel(page);
    m_relocated = new QLabel(page);
    m_install = new QLabel(page);
    m_install->setWordWrap(true);
    m_configDir = new QLabel(paths::quindleDirectory(), page);
    summary->addRow(QStringLiteral("Service:"), m_service);
    summary->addRow(QStringLiteral("Relocated folders:"), m_relocated);
    summary->addRow(QStringLiteral("Install folder:"), m_install);
    summary->addRow(QStringLiteral("Config directory:"), m_configDir);
    layout->addLayout(summary);
    layout->addStretch(1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), page);
    name(cancel, QStringLiteral("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(cancel);
    auto *uninstall = new QPushButton(QStringLiteral("Uninstall"), page);
    name(uninstall, QStringLiteral("Uninstall"));
    connect(uninstall, &QPushButton::clicked, &m_model, &UninstallWizardModel::start);
    buttons->addWidget(uninstall);
    (new DialogKeys(this))->setDefaultButton(uninstall);
    layout->addLayout(buttons);
    for (QCheckBox *box : {m_config, m_trash})
        name(box, box->text());
    return page;
}

QWidget *UninstallWindow::workingPage() {
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 28, 32, 20);
    layout->setSpacing(12);
    layout->addWidget(heading(QStringLiteral("Uninstalling Quindle…"), page));
    m_progress = new QProgressBar(page);
    m_progress->setRange(0, 100);
    name(m_progress, QStringLiteral("Uninstall progress"));
    layout->addWidget(m_progress);
    m_log = new QPlainTextEdit(page);
    m_log->setReadOnly(true);
    name(m_log, QStringLiteral("Uninstall log"));
    layout->addWidget(m_log, 1);
    return page;
}

QWidget *UninstallWindow::donePage() {
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 28, 32, 20);
    layout->setSpacing(12);
    layout->addWidget(heading(QStringLiteral("Quindle has been uninstalled."), page));
    m_doneText = paragraph(QString(), page);
    layout->addWidget(m_doneText);
    layout->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *quit = new QPushButton(QStringLiteral("Quit"), page);
    name(quit, QStringLiteral("Quit"));
    connect(quit, &QPushButton::clicked, this, &UninstallWindow::quitRequested);
    buttons->addWidget(quit);
    layout->addLayout(buttons);
    return page;
}

void UninstallWindow::refresh() {
    const Uninstaller &uninstaller = m_model.uninstaller();
    const bool none = m_model.relocations().isEmpty();
    m_revert->setText(none ? QStringLiteral("Revert relocated folders (none to revert)")
                           : QStringLiteral("Revert relocated folders"));
    name(m_revert, m_revert->text());
    m_revert->setEnabled(!none);
    m_revert->setChecked(uninstaller.revertRelocations);
    m_revertNote->setText(
        none ? QStringLiteral("Nothing to revert. If you'd previously relocated folders, they "
                              "were already moved back or removed.")
             : QStringLiteral("Restores the original folder locations from the original folder "
                              "backups. Some relocations don't have backups — those stay on the "
                              "external drive (you can copy them back manually any time)."));
    m_revertNote->setVisible(none || m_model.anyRelocationsHaveNoBackup());
    m_config->setChecked(uninstaller.removeConfigAndLogs);
    // A development build or a package's copy is never trashed: nothing to choose.
    m_trash->setEnabled(m_model.installFolder().has_value());
    m_trash->setChecked(uninstaller.moveAppToTrash && m_model.installFolder());
    const std::optional<bool> loaded = m_model.serviceLoaded();
    m_service->setText(!loaded   ? QStringLiteral("Checking…")
                       : *loaded ? QStringLiteral("Running")
                                 : QStringLiteral("Not running"));
    m_relocated->setText(QString::number(m_model.relocations().size()));
    m_install->setText(
        m_model.installFolder().value_or(QStringLiteral("(not in an install folder)")));

    m_progress->setValue(static_cast<int>(uninstaller.fractionComplete() * 100));
    const QString log = uninstaller.log().join(QLatin1Char('\n'));
    if (m_log->toPlainText() != log)
        m_log->setPlainText(log);

    QStringList done;
    if (uninstaller.moveAppToTrash && m_model.installFolder())
        done << QStringLiteral("The install folder is now in the Trash. Empty the Trash when "
                               "you're ready to fully remove it.");
    done << QStringLiteral("Your files on the external drive (under %1) are untouched. Delete "
                           "that folder manually if you no longer need it.")
                .arg(currentWorkingFolder());
    if (!uninstaller.removeConfigAndLogs)
        done << QStringLiteral("Your config and logs are kept at ~/.quindle/ — useful if you "
                               "reinstall later.");
    done << QStringLiteral("Thanks for trying Quindle.");
    m_doneText->setText(done.join(QStringLiteral("\n\n")));

    m_pages->setCurrentIndex(static_cast<int>(m_model.step()));
}

} // namespace quindle::ui
