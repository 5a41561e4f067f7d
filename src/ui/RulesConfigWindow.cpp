#include "ui/RulesConfigWindow.h"

#include "core/ConfigFileModel.h"
#include "core/PathText.h"
#include "core/ServiceScripts.h"
#include "core/StatusModel.h"
#include "core/WhenFinished.h"
#include "ui/DialogKeys.h"
#include "ui/Theme.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

QPlainTextEdit *readOnlyText(QWidget *parent) {
    auto *text = new QPlainTextEdit(parent);
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return text;
}

} // namespace

QString RulesConfigWindow::notFoundText(const QString &path) {
    return QStringLiteral("(config not found at ") + path + QLatin1Char(')');
}

RulesConfigWindow::RulesConfigWindow(ConfigFileModel &config, StatusModel &model, QWidget *parent)
    : QWidget(parent)
    , m_file(config)
    , m_model(model) {
    auto *outer = new QVBoxLayout(this);
    // The person decides how much room the file and the preview get.
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    outer->addWidget(splitter);
    auto *configPane = new QWidget(splitter);
    auto *layout = new QVBoxLayout(configPane);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->setSpacing(8);

    auto *top = new QHBoxLayout;
    top->addWidget(
        heading(QStringLiteral("Configuration: ") + tildePath(ConfigFileModel::path()), this), 1);
    m_reload = new QPushButton(QStringLiteral("Reload"), this);
    name(m_reload, QStringLiteral("Reload"), QStringLiteral("Read the configuration file again"));
    dimWhenDisabled(m_reload);
    top->addWidget(m_reload);
    m_open = new QPushButton(QStringLiteral("Open in Text Editor"), this);
    name(m_open, QStringLiteral("Open in Text Editor"),
         QStringLiteral("Edit the configuration file in the desktop's text editor"));
    dimWhenDisabled(m_open);
    top->addWidget(m_open);
    layout->addLayout(top);

    m_configNote = caption(QString(), this);
    layout->addWidget(m_configNote);
    m_config = readOnlyText(this);
    name(m_config, QStringLiteral("Configuration file"));
    layout->addWidget(m_config, 1);

    auto *previewPane = new QWidget(splitter);
    auto *previewLayout = new QVBoxLayout(previewPane);
    previewLayout->setContentsMargins(0, 6, 0, 0);
    previewLayout->setSpacing(8);
    auto *previewTop = new QHBoxLayout;
    auto *previewTexts = new QVBoxLayout;
    previewTexts->setSpacing(2);
    auto *previewTitle = new QLabel(QStringLiteral("Dry run preview"), this);
    QFont bold = previewTitle->font();
    bold.setBold(true);
    previewTitle->setFont(bold);
    previewTexts->addWidget(previewTitle);
    m_previewStatus = new QLabel(this);
    m_previewStatus->setWordWrap(true);
    previewTexts->addWidget(m_previewStatus);
    previewTop->addLayout(previewTexts, 1);
    m_run = new QPushButton(QStringLiteral("Run preview"), this);
    name(m_run, QStringLiteral("Run preview"),
         QStringLiteral("Show what the rules would do now, without doing it"));
    dimWhenDisabled(m_run);
    previewTop->addWidget(m_run, 0, Qt::AlignBottom);
    previewLayout->addLayout(previewTop);
    m_preview = readOnlyText(this);
    m_preview->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_preview->setPlaceholderText(QStringLiteral("Run a preview to see what the rules would move "
                                                 "and clean up, without changing anything."));
    name(m_preview, QStringLiteral("Dry run output"));
    previewLayout->addWidget(m_preview, 1);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);

    m_keys = new DialogKeys(this);
    m_keys->setDefaultButton(m_run);

    connect(m_reload, &QPushButton::clicked, &m_file, &ConfigFileModel::reload);
    connect(&m_file, &ConfigFileModel::readingChanged, this,
            [this] { m_reload->setEnabled(!m_file.isReading()); });
    connect(&m_file, &ConfigFileModel::reloaded, this, &RulesConfigWindow::showFile);
    connect(m_open, &QPushButton::clicked, this, &RulesConfigWindow::openInEditor);
    connect(m_run, &QPushButton::clicked, this, &RulesConfigWindow::runPreview);
    connect(&m_model, &StatusModel::changed, this, &RulesConfigWindow::rebuild);
    rebuild();
    m_file.reload();
    m_reload->setEnabled(!m_file.isReading());
}

void RulesConfigWindow::showFile() {
    const ConfigFile::Contents &contents = m_file.contents();
    switch (contents.state) {
    case ConfigFile::Contents::State::Read:
        m_config->setPlainText(contents.text);
        break;
    case ConfigFile::Contents::State::Missing:
        m_config->setPlainText(notFoundText(ConfigFileModel::path()));
        break;
    case ConfigFile::Contents::State::Failed:
        m_config->clear();
        break;
    }
    // A file that is not UTF-8 still shows, with the reason it may look garbled.
    m_configNote->setText(contents.error);
    m_configNote->setVisible(!contents.error.isEmpty());
    m_open->setEnabled(m_file.exists());
    Q_EMIT reloaded();
}

void RulesConfigWindow::openInEditor() {
    const QString path = ConfigFileModel::path();
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    // No program is set up for text files: the folder at least lets the person pick one.
    const QString folder = QFileInfo(path).path();
    const bool shown = QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    m_configNote->setText(
        shown ? QStringLiteral("No text editor is set up to open %1, so its folder was opened "
                               "instead.")
                    .arg(path)
              : QStringLiteral("No text editor is set up to open %1. Open it with any text editor "
                               "to change the configuration.")
                    .arg(path));
    m_configNote->setVisible(true);
}

void RulesConfigWindow::runPreview() {
    if (m_model.isInFlight(service::dryRun))
        return;
    whenFinished(m_model.run(service::dryRun), this, [this](const ProcessOutput &result) {
        const QString output = result.output.trimmed();
        m_preview->setPlainText(output);
        m_previewFailed = result.status != 0;
        m_previewNote = m_previewFailed
                            ? QStringLiteral("The dry run ended with status %1.").arg(result.status)
                        : output.isEmpty() ? QStringLiteral("The dry run printed nothing.")
                                           : QString();
        rebuild();
    });
    rebuild();
}

void RulesConfigWindow::rebuild() {
    const bool running = m_model.isInFlight(service::dryRun);
    m_run->setEnabled(!running);
    m_previewStatus->setText(running ? QStringLiteral("Running the dry run…") : m_previewNote);
    setTone(m_previewStatus, !running && m_previewFailed ? Tone::Bad : Tone::Neutral);
    m_previewStatus->setVisible(!m_previewStatus->text().isEmpty());
}

} // namespace quindle::ui
