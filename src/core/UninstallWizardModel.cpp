#include "core/UninstallWizardModel.h"

#include "core/BackgroundPool.h"
#include "core/Installer.h"
#include "core/WhenFinished.h"

#include <QtConcurrent>

namespace quindle {

UninstallWizardModel::UninstallWizardModel(Uninstaller &uninstaller, QObject *parent)
    : QObject(parent)
    , m_uninstaller(uninstaller) {
    connect(&m_uninstaller, &Uninstaller::changed, this, &UninstallWizardModel::changed);
}

bool UninstallWizardModel::anyRelocationsHaveNoBackup() const {
    return std::any_of(m_relocations.begin(), m_relocations.end(),
                       [](const Relocation &relocation) { return !relocation.hasBackup; });
}

void UninstallWizardModel::detectState() {
    m_relocations = Uninstaller::detectRelocations();
    if (m_relocations.isEmpty())
        m_uninstaller.revertRelocations = false;
    m_configDirExists = Uninstaller::configDirExists();
    m_installFolder = Uninstaller::installFolder();
    Q_EMIT changed();
    // The service manager may take seconds to answer.
    whenFinished(QtConcurrent::run(blockingPool(), [] { return userServiceManager()->isLoaded(); }),
                 this, [this](bool loaded) {
                     m_serviceLoaded = loaded;
                     Q_EMIT changed();
                 });
}

void UninstallWizardModel::start() {
    if (m_step != Step::Confirm)
        return;
    m_step = Step::Working;
    Q_EMIT changed();
    whenFinished(m_uninstaller.uninstall(), this, [this](bool) {
        m_step = Step::Done;
        Q_EMIT changed();
    });
}

} // namespace quindle
