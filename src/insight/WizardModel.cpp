#include "insight/WizardModel.h"

#include "core/PathText.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"

namespace quindle {

WizardModel::WizardModel(Installer *installer, QObject *parent)
    : QObject(parent)
    , m_installer(installer ? installer : new Installer(this)) {
    connect(m_installer, &Installer::changed, this, &WizardModel::changed);
    connect(&m_listing, &LocalDriveListing::changed, this, &WizardModel::changed);
}

void WizardModel::goNext() {
    if (m_step == Step::Done)
        return;
    m_step = static_cast<Step>(static_cast<int>(m_step) + 1);
    Q_EMIT changed();
}

void WizardModel::goBack() {
    if (m_step == Step::Welcome)
        return;
    m_step = static_cast<Step>(static_cast<int>(m_step) - 1);
    Q_EMIT changed();
}

bool WizardModel::canAdvance(Step step) const {
    switch (step) {
    case Step::Welcome:
    case Step::Done:
        return true;
    case Step::Drive:
        return m_skipDrive || m_selectedDrive.has_value();
    case Step::Install:
        return m_installer->phase().step == Installer::Phase::Step::Done;
    }
    return false;
}

void WizardModel::setSkipDrive(bool skip) {
    m_skipDrive = skip;
    Q_EMIT changed();
}

void WizardModel::pickDrive(const Drive &drive) {
    m_selectedDrive = drive;
    m_installer->setDrivePath(drive.path);
    m_prepResult.reset();
    m_preparing = true;
    const quint64 run = ++m_prepRun;
    Q_EMIT changed();
    whenFinished(m_installer->prepDrive(drive.path), this,
                 [this, run](const Installer::PrepResult &result) {
                     if (run != m_prepRun)
                         return; // another drive was picked meanwhile
                     m_preparing = false;
                     const QString output = result.output.trimmed();
                     m_prepResult = result.ok ? output : LocalDriveListing::prepFailureText(output);
                     Q_EMIT changed();
                 });
}

void WizardModel::install() {
    if (m_installing)
        return;
    m_installing = true;
    Q_EMIT changed();
    whenFinished(m_installer->install(), this, [this](bool) {
        m_installing = false;
        Q_EMIT changed();
    });
}

void WizardModel::finish() {
    Q_EMIT finished();
}

QString WizardModel::installTitle() {
    return QStringLiteral("Install the background service");
}

QString WizardModel::installButton() {
    return QStringLiteral("Install service");
}

QString WizardModel::installedText() {
    return QStringLiteral("Service installed.");
}

QString WizardModel::retryButton() {
    return QStringLiteral("Try again");
}

QString WizardModel::doneTitle() {
    return QStringLiteral("You're all set!");
}

QString WizardModel::doneText() {
    return QStringLiteral("A command-line tool, qndl, is installed at %1.")
        .arg(tildePath(paths::shimFile()));
}

QString WizardModel::finishButton() {
    return QStringLiteral("Finish");
}

} // namespace quindle
