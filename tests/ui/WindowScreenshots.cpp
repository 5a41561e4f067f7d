// Renders every window this library draws, with sample data, to PNG files a person can look
// at: window_screenshots [folder] (default: docs/screenshots in the source tree).
//
// The service answers are real where a spare folder can give one (the inspector, the log, the
// dry run, the installer); a small wrapper around the real script answers for drives this
// machine does not have.

#include "StorageScreenshots.h"

#include "core/ConfigFileModel.h"
#include "core/DriveIdentity.h"
#include "core/Installer.h"
#include "core/LegalAcceptance.h"
#include "core/NVMeShadow.h"
#include "core/RulesArray.h"
#include "core/ServiceLogModel.h"
#include "core/StatePaths.h"
#include "core/StatusModel.h"
#include "core/UninstallWizardModel.h"
#include "insight/DriveSelection.h"
#include "insight/NVMeInspector.h"
#include "insight/ServiceStartPrompt.h"
#include "insight/WizardModel.h"
#include "support/FakeBuild.h"
#include "support/FakeServiceManager.h"
#include "support/ManifestServer.h"
#include "support/ScreenshotRun.h"
#include "support/ServiceSandbox.h"
#include "support/WaitUntil.h"
#include "ui/ChooseDriveWindow.h"
#include "ui/DocumentWindow.h"
#include "ui/InspectWindow.h"
#include "ui/LegalAcceptanceWindow.h"
#include "ui/LogWindow.h"
#include "ui/RuleDialog.h"
#include "ui/RulesConfigWindow.h"
#include "ui/ServiceStartWindow.h"
#include "ui/SettingsWindow.h"
#include "ui/SetupWizardWindow.h"
#include "ui/ShareExperienceWindow.h"
#include "ui/SplashWindow.h"
#include "ui/UninstallWindow.h"
#include "ui/UpdatePromptWindow.h"
#include "ui/WindowKind.h"
#include "updates/AutoUpdater.h"
#include "updates/LaunchSplash.h"
#include "updates/ManifestFetcher.h"
#include "updates/UpdatePrompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <functional>

using namespace quindle;
using ui::WindowKind;
using namespace test::screenshots;

namespace {

// Answers for drives this machine does not have; everything else goes to the real script.
const QByteArray kWrapper = R"sh(#!/bin/bash
case "$1" in
list-drives) cat <<'JSON'
[{"name":"NVMe","path":"/run/media/sam/NVMe","filesystem":"ext4","protocol":"usb","removable":"Removable",
  "location":"External","device":"/dev/sdb1","uuid":"1c3e5f0a-7d2b-4b8e-9a61-2f4d8c0e7b13",
  "free_mb":415744,"total_mb":953869,"is_current":true,"has_marker":true},
 {"name":"Samsung T7","path":"/run/media/sam/Samsung T7","filesystem":"exfat","protocol":"usb",
  "removable":"Removable","location":"External","device":"/dev/sdc1","uuid":"6A1F-22C0",
  "free_mb":1802240,"total_mb":1907729,"is_current":false,"has_marker":false},
 {"name":"BACKUP","path":"/run/media/sam/BACKUP","filesystem":"vfat","protocol":"usb",
  "removable":"Removable","location":"External","device":"/dev/sdd1","uuid":"58D2-9E11",
  "free_mb":2048,"total_mb":30512,"is_current":false,"has_marker":false}]
JSON
;;
assess)
  case "$2" in
  */NVMe) echo '{"verdict":"ok","filesystem":"ext4","protocol":"usb","removable":"Removable","location":"External","reasons":[],"warnings":[]}' ;;
  */BACKUP) echo '{"verdict":"block","filesystem":"vfat","protocol":"usb","removable":"Removable","location":"External","reasons":["/run/media/sam/BACKUP is mounted read-only."],"warnings":["The drive is connected at USB 2 speed (480 Mbit/s); use a USB 3 port or cable for usable transfer rates."]}' ;;
  *) echo '{"verdict":"warn","filesystem":"exfat","protocol":"usb","removable":"Removable","location":"External","reasons":[],"warnings":["The exfat filesystem has no symbolic links, Unix permissions or hard links, so moved folders cannot leave links behind; ext4, btrfs or xfs avoid that."]}' ;;
  esac ;;
benchmark)
  echo '{"size_mb":256,"write_mbps":742,"read_mbps":918,"min_read_mbps":100,"min_write_mbps":80,"warn_read_mbps":400,"warn_write_mbps":300,"verdict":"ok","notes":[]}' ;;
*) exec /bin/bash "$HOME/.quindle/quindle-real.sh" "$@" ;;
esac
)sh";

void useWrapper(bool on) {
    const QString dir = paths::quindleDirectory();
    if (on) {
        QFile::remove(dir + "/quindle-real.sh");
        QFile::copy(dir + "/quindle.sh", dir + "/quindle-real.sh");
        writeFile(dir + "/quindle.sh", kWrapper, true);
    } else if (QFile::exists(dir + "/quindle-real.sh")) {
        QFile::remove(dir + "/quindle.sh");
        QFile::rename(dir + "/quindle-real.sh", dir + "/quindle.sh");
    }
}

// Speaks of itself as the systemd user unit does, so the installer's log reads as it would.
class SampleManager : public test::FakeServiceManager {
public:
    using FakeServiceManager::FakeServiceManager;
    QString writtenNoun() const override { return QStringLiteral("Service unit"); }
    QString loadedNoun() const override { return QStringLiteral("Service unit"); }
    QString controlProgram() const override { return QStringLiteral("systemctl"); }
};

std::shared_ptr<SampleManager> g_manager;
Installer::ManagerSource managers() {
    return [] { return g_manager; };
}

void inspect(const QString &file) {
    NVMeInspector inspector;
    ui::InspectWindow window(inspector);
    present(&window, WindowKind::Inspect); // the first showing reads the drive
    wait([&] { return inspector.info().has_value() && !inspector.isRefreshing(); }, "nvme-info");
    inspector.validate();
    wait(
        [&] {
            return inspector.validationPassed() && !inspector.isRefreshing() &&
                   !inspector.isValidating();
        },
        "validate");
    save(&window, WindowKind::Inspect, file);
}

void chooseDrive(const QString &file, bool withConfirmation) {
    useWrapper(true);
    DriveSelectionModel model;
    ui::ChooseDriveWindow window(model);
    present(&window, WindowKind::ChooseDrive);
    wait([&] { return model.drives().size() == 3 && model.assessment(); }, "list-drives");
    model.select("/run/media/sam/Samsung T7");
    wait([&] { return model.assessment().has_value(); }, "assess");
    model.runBenchmark();
    wait([&] { return model.benchmark().has_value(); }, "benchmark");
    save(&window, WindowKind::ChooseDrive, file);
    if (withConfirmation) {
        for (QPushButton *button : window.findChildren<QPushButton *>())
            if (button->text() == "Use This Drive")
                button->click();
        if (QMessageBox *box = window.confirmation()) {
            QApplication::processEvents();
            shoot(box, "choose-drive-confirm.png");
            box->reject();
        } else {
            fail("no confirmation opened");
        }
    }
    useWrapper(false);
}

enum class LegalState { FirstAcceptance, DocumentsChanged, DocumentMissing };

// The acceptance window over a copy of the shipped documents, changed to show `state`.
void legal(LegalState state, const QString &file) {
    QTemporaryDir bundle;
    const QString shipped = Installer::bundledLegalFolder();
    for (const QString &name : QDir(shipped).entryList({"*.md"}))
        QFile::copy(shipped + u'/' + name, bundle.filePath(name));
    if (state == LegalState::DocumentsChanged) {
        LegalAcceptance(bundle.path()).recordAcceptance();
        for (const char *name : {"TERMS-OF-SERVICE.md", "PRIVACY-POLICY.md"}) {
            QFile document(bundle.filePath(QString::fromLatin1(name)));
            document.open(QIODevice::Append);
            document.write("\nThis paragraph was added in a later version.\n");
        }
    } else if (state == LegalState::DocumentMissing) {
        QFile::remove(bundle.filePath("DISCLAIMER.md"));
    }
    LegalAcceptance model(bundle.path());
    ui::LegalAcceptanceWindow window(model);
    if (state == LegalState::DocumentsChanged)
        for (QCheckBox *box : window.findChildren<QCheckBox *>())
            box->setChecked(true);
    if (state == LegalState::DocumentMissing)
        window.findChild<QTabWidget *>()->setCurrentIndex(2);
    save(&window, WindowKind::LegalAcceptance, file);
    NVMeShadow::remove(LegalAcceptance::basename());
}

// Nothing listens here: every request fails at once.
const QUrl kClosed("http://127.0.0.1:1/manifest.json");

// The launch splash looking, ready, and offline.
void splash() {
    const SplashLimits limits = SplashLimits().scaled(0.02);
    const ManifestPing::Settings closed{
        kClosed, kClosed, {}, {limits.requestTimeout, limits.requestHardTimeout}};
    const auto shootSplash = [](LaunchSplash &model, const QString &file) {
        ui::SplashWindow window(model, QUrl("https://support.example.org/"));
        window.adjustSize();
        window.show();
        QApplication::processEvents();
        shoot(&window, file);
    };
    QFile::remove(paths::manifestCacheFile());
    LaunchSplash looking(closed, limits);
    shootSplash(looking, "splash-connecting.png");
    LaunchSplash offline(closed, limits);
    offline.start();
    wait([&] { return offline.status() == LaunchSplash::Status::Offline; }, "the offline state");
    shootSplash(offline, "splash-offline.png");
    writeFile(paths::manifestCacheFile(), "{}");
    LaunchSplash ready(closed, limits);
    ready.start();
    shootSplash(ready, "splash-ready.png");
    QFile::remove(paths::manifestCacheFile());
}

// The update gate offering a newer version, asking the server again and failing to, then
// installing from a loopback server: downloading, verifying, and a build the check refuses.
void updatePrompt() {
    const QString install = QDir::home().filePath("opt/Quindle");
    const QString work = QDir::home().filePath("work");
    const QString top = "quindle-2.4.0-linux-x86_64";
    test::writeFakeBuild(install, "Quindle 1.0.0");
    test::writeFakeBuild(work + u'/' + top, "Quindle 2.4.0");
    // Slow enough to be seen verifying, and not the version offered.
    writeFile(work + u'/' + top + "/bin/quindle", "#!/bin/bash\nsleep 3\necho 'Quindle 2.3.9'\n",
              true);
    const QByteArray archive = test::packBuild(work, top);

    test::ManifestServer online{test::SignedManifest{}};
    const QUrl download = online.serveFile("/" + top.toUtf8() + ".tar.gz", archive);
    test::SignedManifest served;
    served.unsigned_ = R"({"version": "2.4.0", "download_url": ")" + download.toEncoded() +
                       R"(", "sha256": ")" +
                       QCryptographicHash::hash(archive, QCryptographicHash::Sha256).toHex() +
                       R"(", "release_notes_url": "https://example.org/releases/2.4.0",
        "behaviour": {"auto_check_updates": true, "auto_check_updates_interval_hours": 24,
                      "telemetry": {"crash": false, "perf": false, "events": false,
                                    "perf_sample_minutes": 15},
                      "feature_flags": {}},
        "support": {"email": "help@example.org"}})";
    online.setManifest(served);
    writeFile(paths::manifestCacheFile(), served.unsigned_);

    ManifestFetcher fetcher(
        ManifestFetcher::Settings{kClosed, {}, {std::chrono::seconds(5), std::chrono::seconds(5)}});
    AutoUpdater::Settings settings;
    settings.installFolder = install;
    settings.canVerify = true;
    settings.downloadFolder = QDir::homePath();
    settings.idleLimit = std::chrono::seconds(8);
    AutoUpdater updater(settings);
    UpdatePrompt prompt(fetcher, updater);
    ui::UpdatePromptWindow window(prompt);
    save(&window, WindowKind::UpdatePrompt, "update-offer.png");
    prompt.recheck();
    save(&window, WindowKind::UpdatePrompt, "update-rechecking.png");
    wait([&] { return prompt.phase() == UpdatePrompt::Phase::RecheckFailed; }, "the re-check");
    save(&window, WindowKind::UpdatePrompt, "update-recheck-failed.png");

    ManifestFetcher reachable(ManifestFetcher::Settings{
        online.address(), {}, {std::chrono::seconds(5), std::chrono::seconds(5)}});
    UpdatePrompt installing(reachable, updater);
    ui::UpdatePromptWindow installingWindow(installing);
    online.answerWith(test::ManifestServer::Answer::Unsigned);
    online.answerFilesWith(test::ManifestServer::Answer::Stall);
    installing.updateNow();
    wait([&] { return updater.fraction() > 0; }, "the download");
    save(&installingWindow, WindowKind::UpdatePrompt, "update-downloading.png");
    wait([&] { return !updater.isRunning(); }, "the stalled download");
    online.answerFilesWith(test::ManifestServer::Answer::Good);
    installing.updateNow();
    wait([&] { return updater.phase() == AutoUpdater::Phase::Verifying; }, "the checks");
    save(&installingWindow, WindowKind::UpdatePrompt, "update-verifying.png");
    wait([&] { return !updater.isRunning(); }, "the package check");
    save(&installingWindow, WindowKind::UpdatePrompt, "update-failed.png");
    QFile::remove(paths::manifestCacheFile());
}

// The uninstall window asking, with a relocation on the sample drive, and done.
void uninstall() {
    const QString drive = QDir::home().filePath("media/NVMe");
    qputenv("QUINDLE_VOLUMES_ROOT", QFileInfo(drive).path().toLocal8Bit());
    writeFile(markerFile(drive), "volume_uuid=1\n");
    writeFile(drive + "/Work/.cargo/registry", "");
    QFile::link(drive + "/Work/.cargo", QDir::home().filePath(".cargo"));
    writeFile(QDir::home().filePath(".local/opt/Quindle/bin/quindle"), "", true);
    QDir().mkpath(QDir::home().filePath(".local/opt/Quindle/Resources/Scripts"));
    Uninstaller uninstaller(managers());
    UninstallWizardModel model(uninstaller);
    model.detectState();
    ui::UninstallWindow window(model);
    wait([&] { return model.serviceLoaded().has_value(); }, "the service state");
    save(&window, WindowKind::Uninstall, "uninstall-confirm-dark.png");
    model.start();
    wait([&] { return model.step() == UninstallWizardModel::Step::Done; }, "the uninstall");
    save(&window, WindowKind::Uninstall, "uninstall-done-dark.png");
    qunsetenv("QUINDLE_VOLUMES_ROOT");
}

// Settings over the sample rules, one of them held back by the hard floor, with the rule dialog
// and the question before the floor is lowered.
void settings(const QString &home) {
    QDir().mkpath(home + "/Documents/Old projects");
    RulesArray rules;
    rules.load();
    rules.add({"archive_old", home + "/Documents/Old projects", {}, 3, {}});
    ui::SettingsWindow window;
    save(&window, WindowKind::Settings, "settings.png");
    for (QPushButton *button : window.findChildren<QPushButton *>())
        if (button->accessibleName() == "Edit rule 2")
            button->click();
    if (ui::RuleDialog *dialog = window.ruleDialog()) {
        QApplication::processEvents();
        shoot(dialog, "settings-rule-dialog.png");
        dialog->reject();
    } else {
        fail("no rule dialog opened");
    }
    for (QSpinBox *box : window.findChildren<QSpinBox *>())
        if (box->accessibleName() == "Hard floor")
            box->setValue(3);
    if (QMessageBox *question = window.floorQuestion()) {
        QApplication::processEvents();
        shoot(question, "settings-floor-question.png");
        question->reject();
    } else {
        fail("no question before lowering the hard floor");
    }
    for (QScrollArea *pane : window.findChildren<QScrollArea *>())
        if (pane->accessibleName() == "Rules")
            pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
    save(&window, WindowKind::Settings, "settings-overrides.png");
    for (QTabWidget *tabs : window.findChildren<QTabWidget *>())
        tabs->setCurrentIndex(1);
    save(&window, WindowKind::Settings, "settings-quiet-hours.png");
}

// The Help guide and one legal document, as the footer and the Legal menu open them.
void documents() {
    for (const auto &[kind, file] :
         {std::pair{WindowKind::Help, QStringLiteral("help.png")},
          std::pair{WindowKind::ThirdPartyNotices, QStringLiteral("legal-third-party.png")}}) {
        ui::DocumentWindow window(ui::shownDocument(kind));
        window.setWindowTitle(ui::specFor(kind).title);
        save(&window, kind, file);
    }
}

// The feedback form: before anything is asked, verified with a failed send, and done.
void shareExperience() {
    test::ManifestServer server{test::SignedManifest{}};
    server.script("/api/feedback/request-otp", {200, R"({"ok":true,"expires_in":900})"});
    server.script("/api/feedback/verify-otp",
                  {200, R"({"ok":true,"token":"tok","expires_in":600})"});
    server.script("/api/feedback/submit",
                  {503, R"({"ok":false,"error":"maintenance","detail":"The feedback service is )"
                        R"(down for maintenance until 14:00 UTC."})"});
    FeedbackClient client{{server.base(), std::chrono::seconds(15)}};
    ShareExperience model(client);
    ui::ShareExperienceWindow window(model);
    window.setWindowTitle(ui::specFor(WindowKind::ShareExperience).title);
    save(&window, WindowKind::ShareExperience, "share-experience.png");
    model.form().name = "Sam Example";
    model.form().email = "sam@example.org";
    const auto idle = [&] { return model.running() == ShareExperience::Call::None; };
    model.requestCode();
    wait(idle, "the code request");
    model.form().code = "ABCDEFGHIJKLMNOP";
    model.verify();
    wait(idle, "the verification");
    model.submit("<p>Moves stall at 99 %.</p>", "Moves stall at 99 %.");
    wait(idle, "the failed send");
    ui::ShareExperienceWindow filled(model); // shows the form's fields as typed
    save(&filled, WindowKind::ShareExperience, "share-experience-failed.png");
    server.script("/api/feedback/submit", {200, R"({"ok":true,"id":"QF-2026-1042"})"});
    model.submit("<p>Moves stall at 99 %.</p>", "Moves stall at 99 %.");
    wait(idle, "the send");
    save(&filled, WindowKind::ShareExperience, "share-experience-sent.png");
}

} // namespace

void present(QWidget *window, WindowKind kind) {
    window->resize(ui::openingSize(kind, window->font(), {}));
    window->show();
    QApplication::processEvents();
}

void save(QWidget *window, WindowKind kind, const QString &file) {
    present(window, kind);
    shoot(window, file);
}

int main(int argc, char **argv) {
    const Options options =
        parse(argc, argv, QStringLiteral(QUINDLE_SOURCE_DIR "/docs/screenshots"));
    QApplication app(argc, argv);
    begin("window_screenshots", options);

    QTemporaryDir home(QDir::tempPath() + "/sam-XXXXXX");
    qputenv("HOME", home.path().toLocal8Bit());
    for (const char *name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qunsetenv(name);
    g_manager = std::make_shared<SampleManager>(home.path() +
                                                "/.config/systemd/user/quindle-service.service");

    splash();
    documents();
    shareExperience();
    updatePrompt();
    legal(LegalState::FirstAcceptance, "legal-first.png");
    legal(LegalState::DocumentsChanged, "legal-updated.png");
    legal(LegalState::DocumentMissing, "legal-missing.png");

    // The setup wizard comes first: it installs into the empty home.
    {
        Installer installer(managers(), Installer::bundledScriptsFolder());
        WizardModel wizard(&installer);
        ui::SetupWizardWindow window(wizard);
        save(&window, WindowKind::SetupWizard, "wizard-welcome.png");
        wizard.goNext();
        wait([&] { return !wizard.driveListing().isListing(); }, "the drive listing");
        save(&window, WindowKind::SetupWizard, "wizard-drive.png");
        wizard.setSkipDrive(true);
        wizard.goNext();
        wizard.install();
        wait([&] { return !wizard.isInstalling(); }, "the installation");
        save(&window, WindowKind::SetupWizard, "wizard-install.png");
        wizard.goNext();
        save(&window, WindowKind::SetupWizard, "wizard-done.png");
    }

    // A spare folder stands in for the drive, prepared by the real stage script, with rules
    // that have old and large files to move.
    const QString drive = home.path() + "/NVMe";
    QDir().mkpath(drive);
    test::ServiceSandbox::install(drive);
    test::ServiceSandbox::prepareDrive(drive);
    const QString work = drive + "/QNDL-Test-Box";
    QFile configFile(paths::configFile());
    configFile.open(QIODevice::ReadOnly);
    QString config = QString::fromUtf8(configFile.readAll());
    configFile.close();
    config.replace("RULES=()",
                   QStringLiteral("RULES=(\n"
                                  "  \"archive_old | $HOME/Videos | %1/Videos | 30 | \"\n"
                                  "  \"archive_big | $HOME/Downloads | %1/Downloads | 7 | 500\"\n"
                                  "  \"delete_old | $HOME/.cache/thumbnails |  | 60 | \"\n"
                                  ")")
                       .arg(work));
    writeFile(paths::configFile(), config.toUtf8());
    const QDateTime old = QDateTime::currentDateTime().addDays(-90);
    for (const auto &[file, megabytes] : std::initializer_list<std::pair<QString, qint64>>{
             {"Videos/2023 Holiday/day-1.mp4", 1840},
             {"Videos/2023 Holiday/day-2.mp4", 2210},
             {"Videos/Screen recordings/demo.mkv", 610},
             {"Downloads/debian-12.5.0-amd64-DVD-1.iso", 3780},
             {".cache/thumbnails/large/5d41402a.png", 1}}) {
        const QString path = home.path() + u'/' + file;
        QDir().mkpath(QFileInfo(path).path());
        QFile sample(path);
        sample.open(QIODevice::WriteOnly);
        sample.resize(megabytes * 1024 * 1024); // sparse: only the size shows
        sample.setFileTime(old, QFileDevice::FileModificationTime);
        sample.close();
    }
    for (const QStringList &call : {QStringList{"watch", "--once"}, QStringList{"pause"},
                                    QStringList{"resume"}, QStringList{"validate"}})
        test::ServiceSandbox::run(call);

    {
        StatusModel model(managers());
        ConfigFileModel file;
        ui::RulesConfigWindow window(file, model);
        present(&window, WindowKind::RulesConfig);
        QPlainTextEdit *config = nullptr;
        for (QPlainTextEdit *text : window.findChildren<QPlainTextEdit *>())
            if (text->accessibleName() == "Configuration file")
                config = text;
        wait([&] { return !config->toPlainText().isEmpty(); }, "the configuration");
        for (QPushButton *button : window.findChildren<QPushButton *>())
            if (button->text() == "Run preview")
                button->click();
        wait([&] { return !model.isInFlight("dry-run"); }, "the dry run");
        QApplication::processEvents();
        save(&window, WindowKind::RulesConfig, "rules-config.png");
    }
    settings(home.path());
    {
        ServiceLogModel log;
        ui::LogWindow window(log);
        bool read = false;
        QObject::connect(&window, &ui::LogWindow::refreshed, [&] { read = true; });
        present(&window, WindowKind::Log);
        wait([&] { return read; }, "the log");
        save(&window, WindowKind::Log, "log.png");
    }
    inspect("inspect.png");
    chooseDrive("choose-drive.png", true);
    storageScreenshots();
    {
        StatusModel model(managers());
        ServiceStartPrompt prompt(model);
        prompt.setCheckInterval(std::chrono::milliseconds(5));
        ui::ServiceStartWindow window(prompt);
        save(&window, WindowKind::ServiceStart, "service-start.png");
        prompt.start();
        wait([&] { return prompt.state() == ServiceStartPrompt::State::Failed; }, "the start");
        save(&window, WindowKind::ServiceStart, "service-start-failed.png");
    }

    // The same windows on a dark palette: every colour but the status colours must follow it.
    useDarkPalette();
    inspect("inspect-dark.png");
    chooseDrive("choose-drive-dark.png", false);
    legal(LegalState::DocumentsChanged, "legal-updated-dark.png");

    uninstall(); // last: it removes what the others installed
    return exitCode();
}
