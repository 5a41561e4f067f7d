#pragma once

#include "core/Uninstaller.h"

#include <QObject>

#include <optional>

namespace quindle {

// The three steps of the uninstall window: what will go, the run, and what is left.
class UninstallWizardModel : public QObject {
    Q_OBJECT
public:
    enum class Step { Confirm, Working, Done };

    explicit UninstallWizardModel(Uninstaller &uninstaller, QObject *parent = nullptr);

    Step step() const { return m_step; }
    Uninstaller &uninstaller() { return m_uninstaller; }
    const QList<Relocation> &relocations() const { return m_relocations; }
    bool anyRelocationsHaveNoBackup() const;
    // Nothing until the service manager has answered.
    std::optional<bool> serviceLoaded() const { return m_serviceLoaded; }
    bool configDirExists() const { return m_configDirExists; }
    const std::optional<QString> &installFolder() const { return m_installFolder; }

    // Looks again at what is installed; with no relocation found, reverting is switched off.
    void detectState();
    void start();

Q_SIGNALS:
    void changed();

private:
    Uninstaller &m_uninstaller;
    Step m_step = Step::Confirm;
    QList<Relocation> m_relocations;
    std::optional<bool> m_serviceLoaded;
    bool m_configDirExists = false;
    std::optional<QString> m_installFolder;
};

} // namespace quindle
