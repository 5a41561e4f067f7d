#include "ui/RuleDialog.h"

#include "core/PathText.h"
#include "core/RuleActions.h"
#include "core/RuleChecks.h"
#include "ui/Theme.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quindle::ui {

FolderChooser desktopFolderChooser() {
    return [](QWidget *parent, const QString &title, const QString &start,
              std::function<void(const QString &)> chosen) {
        auto *dialog = new QFileDialog(parent, title, start);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                         [chosen = std::move(chosen)](const QString &folder) { chosen(folder); });
        dialog->open();
    };
}

namespace {

// Paths as people read them: the home folder as "~", never as a variable.
QString shownPath(const QString &path) {
    return tildePath(RulesBlock::expandHome(path, QDir::homePath()));
}

// A line edit with a button that fills it from the folder dialog.
QWidget *folderRow(QLineEdit *edit, const QString &what, QWidget *parent,
                   const std::function<void()> &choose) {
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edit->setParent(row);
    layout->addWidget(edit, 1);
    auto *button = new QPushButton(QStringLiteral("Choose…"), row);
    name(button, QStringLiteral("Choose ") + what,
         QStringLiteral("Pick the %1 folder in a folder dialog").arg(what));
    // At some scales the style's preferred height is a pixel short of its minimum.
    button->setMinimumHeight(button->minimumSizeHint().height());
    QObject::connect(button, &QPushButton::clicked, parent, choose);
    layout->addWidget(button);
    return row;
}

} // namespace

RuleDialog::RuleDialog(const std::optional<RuleRecord> &editing, Submit submit,
                       FolderChooser chooseFolder, QWidget *parent)
    : QDialog(parent)
    , m_original(editing.value_or(RuleRecord{ruleActions::archiveOld, {}, {}, 30, {}}))
    , m_submit(std::move(submit))
    , m_chooseFolder(std::move(chooseFolder)) {
    setWindowTitle(editing ? QStringLiteral("Edit Rule") : QStringLiteral("Add Rule"));
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addWidget(heading(windowTitle(), this));

    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_action = new QComboBox(this);
    for (const QString &action : ruleActions::known())
        m_action->addItem(ruleActions::label(action), action);
    // An action this version does not know is kept as written.
    if (!ruleActions::isKnown(m_original.action))
        m_action->addItem(m_original.action, m_original.action);
    m_action->setCurrentIndex(m_action->findData(m_original.action));
    name(m_action, QStringLiteral("Action"));
    form->addRow(QStringLiteral("Action:"), m_action);

    m_source = new QLineEdit(shownPath(m_original.source), this);
    m_source->setMinimumWidth(textWidth(this, 56));
    name(m_source, QStringLiteral("Source folder"),
         QStringLiteral("A folder inside your home folder"));
    m_sourceRow = folderRow(m_source, QStringLiteral("source"), this, [this] {
        m_chooseFolder(this, QStringLiteral("Choose the source folder"),
                       m_source->text().isEmpty() ? QDir::homePath()
                                                  : homeExpanded(m_source->text()),
                       [this](const QString &folder) { m_source->setText(shownPath(folder)); });
    });
    form->addRow(QStringLiteral("From:"), m_sourceRow);

    m_destination = new QLineEdit(shownPath(m_original.destination), this);
    m_destination->setPlaceholderText(QStringLiteral("The Archive folder on the NVMe"));
    name(m_destination, QStringLiteral("Destination folder"),
         QStringLiteral("A folder on the NVMe; empty for the Archive folder there"));
    m_destinationRow = folderRow(m_destination, QStringLiteral("destination"), this, [this] {
        m_chooseFolder(this, QStringLiteral("Choose the destination folder"),
                       m_destination->text().isEmpty() ? QDir::rootPath() : m_destination->text(),
                       [this](const QString &folder) { m_destination->setText(folder); });
    });
    form->addRow(QStringLiteral("To:"), m_destinationRow);

    m_age = new QSpinBox(this);
    m_age->setRange(0, int(maximumRuleAgeDays));
    m_age->setValue(int(std::clamp<qint64>(m_original.ageDays, 0, maximumRuleAgeDays)));
    m_age->setSuffix(QStringLiteral(" days"));
    m_age->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    name(m_age, QStringLiteral("Age"),
         QStringLiteral("Only entries untouched for this many days are acted on"));
    form->addRow(QStringLiteral("Untouched for:"), m_age);

    m_size = new QLineEdit(m_original.extras, this);
    m_size->setPlaceholderText(QStringLiteral("500M"));
    m_size->setMaximumWidth(textWidth(this, 14));
    name(m_size, QStringLiteral("Minimum size"),
         QStringLiteral("A whole number with K, M, G or T; a bare number is MB"));
    m_sizeRow = new QWidget(this);
    auto *sizeRow = new QHBoxLayout(m_sizeRow);
    sizeRow->setContentsMargins(0, 0, 0, 0);
    sizeRow->addWidget(m_size);
    sizeRow->addWidget(new QLabel(QStringLiteral("MB, or add K, G or T"), m_sizeRow));
    sizeRow->addStretch();
    form->addRow(QStringLiteral("Only files larger than:"), m_sizeRow);
    m_fields = new QWidget(this);
    m_fields->setLayout(form);
    layout->addWidget(m_fields);

    m_actionNote = caption(QString(), this);
    layout->addWidget(m_actionNote);
    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    setTone(m_error, Tone::Bad);
    m_error->hide();
    layout->addWidget(m_error);

    auto *buttons = new QDialogButtonBox(this);
    m_save = buttons->addButton(editing ? QStringLiteral("Save Rule") : QStringLiteral("Add Rule"),
                                QDialogButtonBox::AcceptRole);
    name(m_save, m_save->text());
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    name(cancel, QStringLiteral("Cancel"));
    m_save->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &RuleDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RuleDialog::reject);
    layout->addWidget(buttons);

    connect(m_action, &QComboBox::currentIndexChanged, this, &RuleDialog::showFieldsFor);
    showFieldsFor();
}

QString RuleDialog::chosenAction() const {
    return m_action->currentData().toString();
}

void RuleDialog::showFieldsFor() {
    const QString action = chosenAction();
    auto *form = static_cast<QFormLayout *>(m_fields->layout());
    const bool known = ruleActions::isKnown(action);
    form->setRowVisible(m_sourceRow, ruleActions::actsOnSource(action) || !known);
    form->setRowVisible(m_destinationRow, ruleActions::isMove(action) || !known);
    form->setRowVisible(m_age, action != ruleActions::appCacheClean);
    form->setRowVisible(m_sizeRow, action == ruleActions::archiveBig);
    QString note;
    if (action == ruleActions::archiveOld)
        note = QStringLiteral("Each entry directly in the folder that is old enough as a whole "
                              "moves to the NVMe and leaves a link behind.");
    else if (action == ruleActions::archiveBig)
        note = QStringLiteral("Each file anywhere in the folder that is large and old enough "
                              "moves to the NVMe and leaves a link behind.");
    else if (action == ruleActions::deleteOld)
        note = QStringLiteral("Each entry directly in the folder that is old enough goes to the "
                              "trash.");
    else if (action == ruleActions::appCacheClean)
        note = QStringLiteral("Cleans the configured app caches, surgical cache subfolders only.");
    else
        note = QStringLiteral("The service does not know this action and skips the rule; it is "
                              "kept as written.");
    m_actionNote->setText(note);
    adjustSize();
}

RuleRecord RuleDialog::record() const {
    RuleRecord record = m_original;
    record.action = chosenAction();
    auto *form = static_cast<QFormLayout *>(m_fields->layout());
    // Hidden fields keep the rule's own values.
    if (form->isRowVisible(m_sourceRow))
        record.source = homeExpanded(m_source->text().trimmed());
    if (form->isRowVisible(m_destinationRow))
        record.destination = homeExpanded(m_destination->text().trimmed());
    if (form->isRowVisible(m_age))
        record.ageDays = m_age->value();
    if (form->isRowVisible(m_sizeRow))
        record.extras = m_size->text().trimmed();
    if (!record.source.isEmpty() && ruleActions::actsOnSource(record.action))
        record.source = QDir::cleanPath(record.source);
    return record;
}

void RuleDialog::accept() {
    const std::optional<QString> refusal = m_submit(record());
    m_error->setText(refusal.value_or(QString()));
    m_error->setVisible(refusal.has_value());
    if (!refusal)
        QDialog::accept();
}

} // namespace quindle::ui
