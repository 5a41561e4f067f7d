#include "ui/AppsRootsDialog.h"

#include "core/PathText.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quindle::ui {

AppsRootsDialog::AppsRootsDialog(const QStringList &roots, QStringList defaults, Save save,
                                 FolderChooser chooseFolder, QWidget *parent)
    : QDialog(parent)
    , m_defaults(std::move(defaults))
    , m_save(std::move(save))
    , m_chooseFolder(std::move(chooseFolder)) {
    setWindowTitle(QStringLiteral("Apps Roots"));
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addWidget(heading(windowTitle(), this));
    auto *explanation =
        caption(QStringLiteral("Each folder inside these is an app: the Apps window moves them, "
                               "and the Tier window leaves them alone. The first is the one "
                               "Free Up Space reports."),
                this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    m_list = new QListWidget(this);
    name(m_list, QStringLiteral("Apps roots"));
    layout->addWidget(m_list, 1);

    auto *buttons = new QHBoxLayout;
    auto *add = new QPushButton(QStringLiteral("Add Folder…"), this);
    name(add, add->text(), QStringLiteral("Pick another apps root in a folder dialog"));
    m_remove = new QPushButton(QStringLiteral("Remove"), this);
    name(m_remove, m_remove->text(), QStringLiteral("Removes the selected apps root"));
    m_useDefaults = new QPushButton(QStringLiteral("Use Defaults"), this);
    name(m_useDefaults, m_useDefaults->text(),
         QStringLiteral("Lists the usual places for apps that exist on this computer"));
    buttons->addWidget(add);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    buttons->addWidget(m_useDefaults);
    layout->addLayout(buttons);

    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    setTone(m_error, Tone::Bad);
    m_error->hide();
    layout->addWidget(m_error);

    auto *box = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    for (QAbstractButton *button : box->buttons())
        name(button, button->text().remove(QLatin1Char('&')));
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, &AppsRootsDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &AppsRootsDialog::reject);
    connect(add, &QPushButton::clicked, this, [this] {
        m_chooseFolder(this, QStringLiteral("Add an Apps Root"), QDir::homePath(),
                       [this](const QString &folder) { addRoot(folder); });
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        delete m_list->currentItem();
        updateButtons();
    });
    connect(m_useDefaults, &QPushButton::clicked, this, [this] { fill(m_defaults); });
    connect(m_list, &QListWidget::currentRowChanged, this, &AppsRootsDialog::updateButtons);
    fill(roots);
    resize(520, 360);
}

QStringList AppsRootsDialog::listed() const {
    QStringList roots;
    for (int row = 0; row < m_list->count(); ++row)
        roots << m_list->item(row)->data(Qt::UserRole).toString();
    return roots;
}

QStringList AppsRootsDialog::roots() const {
    const QStringList roots = listed();
    return roots == m_defaults ? QStringList() : roots;
}

void AppsRootsDialog::accept() {
    const std::optional<QString> refusal =
        m_list->count() == 0
            ? std::optional(QStringLiteral("Add at least one folder, or use the defaults."))
            : m_save(roots());
    m_error->setText(refusal.value_or(QString()));
    m_error->setVisible(refusal.has_value());
    if (!refusal)
        QDialog::accept();
}

void AppsRootsDialog::fill(const QStringList &roots) {
    m_list->clear();
    for (const QString &root : roots)
        addRoot(root);
    updateButtons();
}

void AppsRootsDialog::addRoot(const QString &folder) {
    const QString root = QDir::cleanPath(folder);
    if (listed().contains(root))
        return;
    auto *item = new QListWidgetItem(tildePath(root), m_list);
    item->setData(Qt::UserRole, root);
    item->setToolTip(root);
    updateButtons();
}

void AppsRootsDialog::updateButtons() {
    m_remove->setEnabled(m_list->currentItem() != nullptr);
    m_useDefaults->setEnabled(listed() != m_defaults);
}

} // namespace quindle::ui
