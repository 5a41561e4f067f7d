#pragma once

#include "core/Installer.h"
#include "insight/DriveSelection.h"
#include "insight/LocalDriveListing.h"

#include <QObject>
#include <QString>

#include <optional>

namespace quindle {

// The first-run setup: welcome, the drive to use, installing the service, done.
class WizardModel : public QObject {
    Q_OBJECT
public:
    enum class Step { Welcome = 0, Drive = 1, Install = 2, Done = 3 };

    // Uses `installer` when given (tests), else one of its own.
    explicit WizardModel(Installer *installer = nullptr, QObject *parent = nullptr);

    Step step() const { return m_step; }
    void goNext();
    void goBack();
    bool canAdvance(Step step) const;
    bool canAdvance() const { return canAdvance(m_step); }

    LocalDriveListing &driveListing() { return m_listing; }
    const std::optional<Drive> &selectedDrive() const { return m_selectedDrive; }
    bool skipDrive() const { return m_skipDrive; }
    void setSkipDrive(bool skip);
    // Prepares the drive at once; the outcome lands in prepResult.
    void pickDrive(const Drive &drive);
    const std::optional<QString> &prepResult() const { return m_prepResult; }
    bool isPreparing() const { return m_preparing; }

    // "Install service" and "Try again".
    void install();
    bool isInstalling() const { return m_installing; }
    Installer &installer() { return *m_installer; }

    // "Finish": the application leaves the wizard.
    void finish();

    static QString installTitle();
    static QString installButton();
    static QString installedText();
    static QString retryButton();
    static QString doneTitle();
    static QString doneText(); // names the command-line tool and where it is
    static QString finishButton();

Q_SIGNALS:
    void changed();
    void finished();

private:
    Installer *m_installer;
    LocalDriveListing m_listing;
    Step m_step = Step::Welcome;
    std::optional<Drive> m_selectedDrive;
    bool m_skipDrive = false;
    std::optional<QString> m_prepResult;
    bool m_preparing = false;
    bool m_installing = false;
    quint64 m_prepRun = 0; // only the latest pick's outcome is kept
};

} // namespace quindle
