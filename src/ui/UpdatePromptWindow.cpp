#include "ui/UpdatePromptWindow.h"

#include "platform/DesktopOpen.h"
#include "ui/DialogKeys.h"
#include "ui/StatusIcons.h"
#include "ui/Theme.h"
#include "updates/AutoUpdater.h"
#include "updates/UpdatePrompt.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtDebug>

namespace quindle::ui {

namespace {

void open(const QUrl &url) {
    if (const std::optional<QString> error = platform::openUrl(url))
        qWarning().noquote() << "Quindle: couldn't open" << url.toString() << "—" << *error;
}

} // namespace

UpdatePromptWindow::UpdatePromptWindow(UpdatePrompt &prompt, QWidget *parent)
    : QWidget(parent)
    , m_prompt(prompt) {
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(32, 40, 32, 20);
    outer->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->setSpacing(16);
    auto *icon = new QLabel(this);
    icon->setPixmap(shieldIcon(this, 48));
    header->addWidget(icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(8);
    texts->addWidget(heading(QStringLiteral("A new version is available"), this));
    m_intro = new QLabel(this);
    m_intro->setWordWrap(true);
    m_intro->setTextFormat(Qt::RichText);
    texts->addWidget(m_intro);
    m_versions = caption(QString(), this);
    texts->addWidget(m_versions);
    m_notes = new QLabel(this);
    m_notes->setTextFormat(Qt::RichText);
    name(m_notes, QStringLiteral("Release notes"));
    connect(m_notes, &QLabel::linkActivated, this, [this] {
        if (const std::optional<QUrl> url = m_prompt.releaseNotesUrl())
            open(*url);
    });
    texts->addWidget(m_notes);
    header->addLayout(texts, 1);
    // The gate is a fixed size; its few lines sit in the middle rather than hang from the top.
    outer->addStretch(1);
    outer->addLayout(header);

    // Room for the longest phase, so the lines above stay put as the phases change.
    auto *phaseArea = new QWidget(this);
    phaseArea->setMinimumHeight(fontMetrics().lineSpacing() * 6);
    auto *phase = new QVBoxLayout(phaseArea);
    phase->setContentsMargins(64, 0, 0, 0);
    phase->setSpacing(6);
    m_phaseTitle = new QLabel(phaseArea);
    QFont bold = m_phaseTitle->font();
    bold.setBold(true);
    m_phaseTitle->setFont(bold);
    phase->addWidget(m_phaseTitle);
    m_phaseText = new QLabel(phaseArea);
    m_phaseText->setWordWrap(true);
    phase->addWidget(m_phaseText);
    m_progress = new QProgressBar(phaseArea);
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(textWidth(this, 24));
    name(m_progress, QStringLiteral("Update progress"));
    phase->addWidget(m_progress);
    phase->addStretch(1);
    outer->addWidget(phaseArea);
    outer->addStretch(2);

    auto *buttons = new QHBoxLayout;
    auto *quit = new QPushButton(QStringLiteral("Quit Quindle"), this);
    name(quit, QStringLiteral("Quit Quindle"),
         QStringLiteral("Quit without updating. You can come back any time — the update will be "
                        "offered again on next launch."));
    quit->setToolTip(quit->accessibleDescription());
    connect(quit, &QPushButton::clicked, &m_prompt, &UpdatePrompt::quit);
    buttons->addWidget(quit);
    buttons->addStretch(1);
    m_recheck = new QPushButton(QStringLiteral("Re-check"), this);
    name(m_recheck, QStringLiteral("Re-check"));
    connect(m_recheck, &QPushButton::clicked, &m_prompt, &UpdatePrompt::recheck);
    buttons->addWidget(m_recheck);
    m_download = new QPushButton(QStringLiteral("Open Download in Browser"), this);
    name(m_download, QStringLiteral("Open Download in Browser"));
    connect(m_download, &QPushButton::clicked, &m_prompt, &UpdatePrompt::openDownload);
    buttons->addWidget(m_download);
    m_update = new QPushButton(QStringLiteral("Update Now"), this);
    (new DialogKeys(this))->setDefaultButton(m_update);
    connect(m_update, &QPushButton::clicked, &m_prompt, &UpdatePrompt::updateNow);
    buttons->addWidget(m_update);
    outer->addLayout(buttons);

    connect(&m_prompt, &UpdatePrompt::changed, this, &UpdatePromptWindow::showPhase);
    connect(&m_prompt, &UpdatePrompt::downloadRequested, this, [](const QUrl &url) { open(url); });
    showPhase();
}

void UpdatePromptWindow::showPhase() {
    const QString version = m_prompt.availableVersion().toHtmlEscaped();
    m_intro->setText(QStringLiteral("Quindle needs to update to <b>v%1</b> before it can run. "
                                    "We'll download the new build, verify it, and relaunch "
                                    "automatically — it usually takes under a minute.")
                         .arg(version));
    m_versions->setText(QStringLiteral("Installed: v%1 · Available: v%2")
                            .arg(UpdatePrompt::installedVersion(), m_prompt.availableVersion()));
    m_notes->setVisible(m_prompt.releaseNotesUrl().has_value());
    m_notes->setText(QStringLiteral("<a href=\"notes\">Read what's new in v%1</a>").arg(version));

    const UpdatePrompt::Phase phase = m_prompt.phase();
    const AutoUpdater &updater = m_prompt.updater();
    const bool failed =
        phase == UpdatePrompt::Phase::Updating && updater.phase() == AutoUpdater::Phase::Failed;
    QString title;
    QString text;
    switch (phase) {
    case UpdatePrompt::Phase::Offer:
        break;
    case UpdatePrompt::Phase::Rechecking:
        title = QStringLiteral("Re-checking for updates…");
        text =
            QStringLiteral("Confirming the latest version against the server before downloading.");
        break;
    case UpdatePrompt::Phase::RecheckFailed:
        title = QStringLiteral("Couldn't re-check for updates");
        text = m_prompt.error();
        break;
    case UpdatePrompt::Phase::Updating:
        title = updatePhaseTitle(updater.phase());
        text = failed ? updater.message() : updatePhaseDetail(updater.phase(), updater.fraction());
        break;
    }
    m_phaseTitle->setText(title);
    m_phaseTitle->setVisible(!title.isEmpty());
    m_phaseText->setText(text);
    m_phaseText->setVisible(!text.isEmpty());
    setTone(m_phaseText,
            failed || phase == UpdatePrompt::Phase::RecheckFailed ? Tone::Bad : Tone::Neutral);

    const bool downloading = phase == UpdatePrompt::Phase::Updating &&
                             updater.phase() == AutoUpdater::Phase::Downloading;
    const bool working = phase == UpdatePrompt::Phase::Rechecking ||
                         (phase == UpdatePrompt::Phase::Updating && !failed);
    m_progress->setVisible(working);
    // A download with a known length fills the bar; everything else just shows it is alive.
    m_progress->setRange(0, downloading && updater.fraction() > 0 ? 1000 : 0);
    m_progress->setValue(static_cast<int>(updater.fraction() * 1000));

    m_recheck->setVisible(phase == UpdatePrompt::Phase::RecheckFailed);
    m_download->setVisible(failed && m_prompt.downloadUrl().has_value());
    const QString update = failed ? QStringLiteral("Try Again") : QStringLiteral("Update Now");
    m_update->setText(update);
    name(m_update, update);
    m_update->setEnabled(m_prompt.canUpdate());
}

} // namespace quindle::ui
