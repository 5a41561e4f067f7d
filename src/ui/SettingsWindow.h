#pragma once

#include "core/PreferencesModel.h"
#include "core/RulesArray.h"
#include "ui/RuleDialog.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QMessageBox;
class QPushButton;
class QTabWidget;
class QVBoxLayout;

namespace quindle {
class BackupStore;
class CloudRoots;
class CloudUsageProbe;
class ServiceRun;
} // namespace quindle

namespace quindle::ui {

class RulesPane;

// The storage models the Cloud section and the Backups pane show.
struct StorageSettings {
    CloudRoots &cloudRoots;
    CloudUsageProbe &cloudUsage;
    ServiceRun &cloudOptimisation;
    BackupStore &backups;
    std::function<void()> openCloudOptimisation;
};

// The service's settings and rules. It reads the configuration when it opens and writes every
// change back by itself: there is no Save button.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(QWidget *parent = nullptr);

    PreferencesModel &preferences() { return m_preferences; }
    RulesArray &rules() { return m_rules; }
    void setFolderChooser(FolderChooser chooser);
    RuleDialog *ruleDialog() const;
    QMessageBox *floorQuestion() const;
    QTabWidget *tabs() const { return m_tabs; }
    // Adds each cloud folder (with Optimise…) to the Cloud section, and the Backups pane; the
    // detected cloud providers come from `storage.cloudRoots`, which this refreshes.
    void addStorage(const StorageSettings &storage);

private:
    QWidget *notificationsPane();
    QWidget *cloudPane();
    void presentSaveState();
    void presentNotificationsAndCloud();

    PreferencesModel m_preferences;
    RulesArray m_rules;
    QTabWidget *m_tabs = nullptr;
    RulesPane *m_rulesPane = nullptr;
    QCheckBox *m_notify = nullptr;
    QVBoxLayout *m_cloudLayout = nullptr;
    QVBoxLayout *m_providerLayout = nullptr;
    QList<QCheckBox *> m_providerBoxes;
    QStringList m_shownProviders;
    QLabel *m_noProviders = nullptr;
    QWidget *m_providerButtons = nullptr;
    QLabel *m_saveState = nullptr;
};

} // namespace quindle::ui
