#include "ui/SettingsWindow.h"

#include "insight/CloudFolders.h"
#include "ui/AccountsPane.h"
#include "ui/BackupsPane.h"
#include "ui/CloudFoldersPanel.h"
#include "ui/PrivacyPane.h"
#include "ui/QuietHoursPane.h"
#include "ui/RulesPane.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

// Panes grow with the font; they scroll down, never sideways.
QScrollArea *scrolling(QWidget *pane, const QString &accessibleName) {
    auto *scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(pane);
    scroll->setAccessibleName(accessibleName);
    return scroll;
}

} // namespace

SettingsWindow::SettingsWindow(QWidget *parent)
    : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    name(m_tabs, QStringLiteral("Settings sections"));
    m_rulesPane = new RulesPane(m_rules, m_preferences);
    m_tabs->addTab(scrolling(m_rulesPane, QStringLiteral("Rules")), QStringLiteral("Rules"));
    m_tabs->addTab(scrolling(new QuietHoursPane(m_preferences), QStringLiteral("Quiet Hours")),
                   QStringLiteral("Quiet Hours"));
    m_tabs->addTab(scrolling(notificationsPane(), QStringLiteral("Notifications")),
                   QStringLiteral("Notifications"));
    m_tabs->addTab(scrolling(cloudPane(), QStringLiteral("Cloud")), QStringLiteral("Cloud"));
    m_tabs->addTab(scrolling(new AccountsPane, QStringLiteral("Accounts")),
                   QStringLiteral("Accounts"));
    m_tabs->addTab(scrolling(new PrivacyPane, QStringLiteral("Privacy")),
                   QStringLiteral("Privacy"));
    layout->addWidget(m_tabs, 1);

    auto *footer = new QHBoxLayout;
    m_saveState = new QLabel(this);
    m_saveState->setWordWrap(true);
    footer->addWidget(m_saveState, 1);
    auto *revert = new QPushButton(QStringLiteral("Revert to saved"), this);
    name(revert, QStringLiteral("Revert to saved"),
         QStringLiteral("Discard unsaved changes and reload from the config file."));
    footer->addWidget(revert, 0, Qt::AlignTop);
    layout->addLayout(footer);

    connect(revert, &QPushButton::clicked, this, [this] {
        m_preferences.load();
        m_rules.load();
    });
    connect(&m_preferences, &PreferencesModel::saveStateChanged, this,
            &SettingsWindow::presentSaveState);
    connect(&m_preferences, &PreferencesModel::valuesChanged, this,
            &SettingsWindow::presentNotificationsAndCloud);
    m_preferences.load();
    m_rules.load();
    presentSaveState();
}

void SettingsWindow::setFolderChooser(FolderChooser chooser) {
    m_rulesPane->setFolderChooser(std::move(chooser));
}

RuleDialog *SettingsWindow::ruleDialog() const {
    return m_rulesPane->ruleDialog();
}

QMessageBox *SettingsWindow::floorQuestion() const {
    return m_rulesPane->floorQuestion();
}

QWidget *SettingsWindow::notificationsPane() {
    auto *pane = new QWidget;
    auto *layout = new QVBoxLayout(pane);
    layout->addWidget(heading(QStringLiteral("Notifications"), pane));
    m_notify = new QCheckBox(QStringLiteral("Notify after every successful auto-action run"), pane);
    const QString hint = QStringLiteral(
        "Off by default — most users only want alerts on errors or low-space warnings.");
    name(m_notify, m_notify->text(), hint);
    layout->addWidget(m_notify);
    auto *text = caption(hint, pane);
    text->setContentsMargins(m_notify->sizeHint().height() + 4, 0, 0, 0);
    layout->addWidget(text);
    layout->addStretch(1);
    connect(m_notify, &QCheckBox::toggled, this, [this](bool on) {
        m_preferences.change([on](Preferences &p) { p.notifyOnOkRun = on; });
    });
    return pane;
}

QWidget *SettingsWindow::cloudPane() {
    auto *pane = new QWidget;
    auto *layout = new QVBoxLayout(pane);
    m_cloudLayout = layout;
    layout->addWidget(heading(QStringLiteral("Cloud providers"), pane));
    layout->addWidget(caption(QStringLiteral("Free Up Space evicts the local copies of the "
                                             "providers switched on here. The files stay in the "
                                             "cloud and download again when you open them."),
                              pane));
    m_noProviders = caption(QStringLiteral("No cloud folders were found on this computer."), pane);
    layout->addWidget(m_noProviders);
    m_providerLayout = new QVBoxLayout;
    layout->addLayout(m_providerLayout);
    m_providerButtons = new QWidget(pane);
    auto *buttons = new QHBoxLayout(m_providerButtons);
    buttons->setContentsMargins(0, 0, 0, 0);
    for (const auto &[label, all] :
         {std::pair{QStringLiteral("All"), true}, std::pair{QStringLiteral("None"), false}}) {
        auto *button = new QPushButton(label, m_providerButtons);
        name(button, label,
             all ? QStringLiteral("Switch on every provider found")
                 : QStringLiteral("Switch every provider off"));
        connect(button, &QPushButton::clicked, this, [this, all = all] {
            m_preferences.change([this, all](Preferences &p) {
                p.enabledCloudProviders =
                    all ? m_preferences.detectedCloudProviders() : QStringList();
            });
        });
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addWidget(m_providerButtons);
    layout->addStretch(1);
    return pane;
}

void SettingsWindow::addStorage(const StorageSettings &storage) {
    auto *folders =
        new CloudFoldersPanel(storage.cloudRoots, storage.cloudUsage, storage.cloudOptimisation,
                              storage.openCloudOptimisation, m_providerButtons->parentWidget());
    // Before the closing stretch, after the providers' switches.
    m_cloudLayout->insertWidget(m_cloudLayout->count() - 1, folders);
    const int privacy = m_tabs->count() - 1;
    m_tabs->insertTab(privacy,
                      scrolling(new BackupsPane(storage.backups), QStringLiteral("Backups")),
                      QStringLiteral("Backups"));
    CloudRoots &roots = storage.cloudRoots;
    connect(&roots, &CloudRoots::changed, this,
            [this, &roots] { m_preferences.setDetectedCloudProviders(roots.providers()); });
    if (roots.lastRefresh())
        m_preferences.setDetectedCloudProviders(roots.providers());
    roots.refresh();
}

void SettingsWindow::presentNotificationsAndCloud() {
    {
        const QSignalBlocker quiet(m_notify);
        m_notify->setChecked(m_preferences.values().notifyOnOkRun);
    }
    const QStringList &detected = m_preferences.detectedCloudProviders();
    if (m_shownProviders != detected) {
        qDeleteAll(m_providerBoxes);
        m_providerBoxes.clear();
        m_shownProviders = detected;
        for (const QString &provider : detected) {
            auto *box = new QCheckBox(provider, m_providerButtons->parentWidget());
            name(box, provider);
            connect(box, &QCheckBox::toggled, this, [this, provider](bool on) {
                m_preferences.change([&](Preferences &p) {
                    p.enabledCloudProviders.removeAll(provider);
                    if (on)
                        p.enabledCloudProviders << provider;
                });
            });
            m_providerLayout->addWidget(box);
            m_providerBoxes << box;
        }
    }
    for (qsizetype i = 0; i < detected.size(); ++i) {
        QCheckBox *box = m_providerBoxes.at(i);
        const QSignalBlocker quiet(box);
        box->setChecked(m_preferences.values().enabledCloudProviders.contains(detected.at(i)));
    }
    m_noProviders->setVisible(detected.isEmpty());
    m_providerButtons->setVisible(!detected.isEmpty());
}

void SettingsWindow::presentSaveState() {
    const std::optional<QString> &error = m_preferences.lastApplyError();
    m_saveState->setText(error.value_or(m_preferences.savedFeedback().value_or(QString())));
    setTone(m_saveState, error ? Tone::Bad : Tone::Good);
}

} // namespace quindle::ui
