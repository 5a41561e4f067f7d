#include "ui/UpdatePromptWindow.h"

#include "platform/DesktopOpen.h"
#include "ui/StatusIcons.h"
#include "ui/Theme.h"
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
    outer->addLayout(header);

    auto *phase = new QVBoxLayout;
    phase->setContentsMargins(64, 0, 0, 0);
    phase->setSpacing(6);
    m_phaseTitle = new QLabel(this);
    QFont bold = m_phaseTitle->font();
    bold.setBold(true);
    m_phaseTitle->setFont(bold);
    phase->addWidget(m_phaseTitle);
    m_phaseText = new QLabel(this);
    m_phaseText->setWordWrap(true);
    phase->addWidget(m_phaseText);
    m_busy = new QProgressBar(this);
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setMaximumWidth(textWidth(this, 24));
    name(m_busy, QStringLiteral("Re-checking for updates"));
    phase->addWidget(m_busy);
    outer->addLayout(phase);
    outer->addStretch(1);

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
    connect(m_recheck, &QPushButton::clicked, &m_prompt, &UpdatePrompt::recheck);
    buttons->addWidget(m_recheck);
    m_download = new QPushButton(QStringLiteral("Open Download in Browser"), this);
    m_download->setDefault(true);
    connect(m_download, &QPushButton::clicked, this, [this] {
        if (m_prompt.phase() == UpdatePrompt::Phase::RecheckFailed)
            m_prompt.openDownloadAnyway();
        else
            m_prompt.openDownload();
    });
    buttons->addWidget(m_download);
    outer->addLayout(buttons);

    connect(&m_prompt, &UpdatePrompt::changed, this, &UpdatePromptWindow::showPhase);
    connect(&m_prompt, &UpdatePrompt::downloadRequested, this, [](const QUrl &url) { open(url); });
    showPhase();
}

void UpdatePromptWindow::showPhase() {
    const QString version = m_prompt.availableVersion().toHtmlEscaped();
    m_intro->setText(QStringLiteral("Quindle needs to update to <b>v%1</b> before it can run. "
                                    "Download the new build, install it, and start Quindle "
                                    "again.")
                         .arg(version));
    m_versions->setText(QStringLiteral("Installed: v%1 · Available: v%2")
                            .arg(UpdatePrompt::installedVersion(), m_prompt.availableVersion()));
    m_notes->setVisible(m_prompt.releaseNotesUrl().has_value());
    m_notes->setText(QStringLiteral("<a href=\"notes\">Read what's new in v%1</a>").arg(version));

    const UpdatePrompt::Phase phase = m_prompt.phase();
    m_busy->setVisible(phase == UpdatePrompt::Phase::Rechecking);
    m_phaseTitle->setVisible(phase != UpdatePrompt::Phase::Offer);
    m_phaseText->setVisible(phase != UpdatePrompt::Phase::Offer);
    setTone(m_phaseText, phase == UpdatePrompt::Phase::RecheckFailed ? Tone::Bad : Tone::Neutral);
    if (phase == UpdatePrompt::Phase::Rechecking) {
        m_phaseTitle->setText(QStringLiteral("Re-checking for updates…"));
        m_phaseText->setText(
            QStringLiteral("Confirming the latest version against the server before downloading."));
    } else if (phase == UpdatePrompt::Phase::RecheckFailed) {
        m_phaseTitle->setText(QStringLiteral("Couldn't re-check for updates"));
        m_phaseText->setText(m_prompt.error());
    }
    m_recheck->setVisible(phase == UpdatePrompt::Phase::RecheckFailed);
    m_download->setEnabled(phase != UpdatePrompt::Phase::Rechecking &&
                           m_prompt.downloadUrl().has_value());
}

} // namespace quindle::ui
