#include "ui/LegalAcceptanceWindow.h"

#include "core/AtomicFile.h"
#include "core/LegalAcceptance.h"
#include "platform/DesktopOpen.h"
#include "platform/HomeDirectory.h"
#include "ui/DialogKeys.h"
#include "ui/MarkdownView.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

const QString kReadAndAccept =
    QStringLiteral("I have read and accept the Terms of Service, Privacy Policy, and Disclaimer.");
const QString kNotABackup =
    QStringLiteral("I understand Quindle is not a backup tool, and that I am responsible for "
                   "maintaining independent backups of any data I value.");

// Clicking the label ticks its box, as clicking a check box's own text does.
class TogglesBox : public QObject {
public:
    TogglesBox(QLabel *label, QCheckBox *box)
        : QObject(label)
        , m_box(box) {
        label->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton && m_box->isEnabled()) {
            m_box->toggle();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QCheckBox *m_box;
};

// A check box whose sentence wraps: a box's own text never does, and these are long.
QCheckBox *confirmation(const QString &text, QWidget *parent, QVBoxLayout *into) {
    auto *row = new QHBoxLayout;
    row->setSpacing(parent->fontMetrics().averageCharWidth());
    auto *box = new QCheckBox(parent);
    name(box, text);
    // As tall as a line, so its indicator sits beside the first line of the sentence.
    box->setFixedHeight(parent->fontMetrics().height());
    row->addWidget(box, 0, Qt::AlignTop);
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    new TogglesBox(label, box);
    row->addWidget(label, 1);
    into->addLayout(row);
    return box;
}

} // namespace

LegalAcceptanceWindow::LegalAcceptanceWindow(LegalAcceptance &legal, QWidget *parent)
    : QWidget(parent)
    , m_legal(legal) {
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(28, 24, 28, 20);
    outer->setSpacing(10);

    outer->addWidget(heading(QStringLiteral("Welcome to Quindle"), this));
    auto *intro = new QLabel(
        QStringLiteral("Please review and accept the following before continuing."), this);
    intro->setWordWrap(true);
    outer->addWidget(intro);
    m_updated = new QLabel(this);
    m_updated->setWordWrap(true);
    setTone(m_updated, Tone::Warning);
    outer->addWidget(m_updated);

    m_tabs = new QTabWidget(this);
    name(m_tabs, QStringLiteral("Legal documents"));
    for (LegalDocument document : legalDocuments())
        m_tabs->addTab(documentPage(document), title(document));
    outer->addWidget(m_tabs, 1);

    auto *actions = new QHBoxLayout;
    m_open = new QPushButton(QStringLiteral("Open document in browser"), this);
    name(m_open, m_open->text(), QStringLiteral("Open the document shown in your web browser"));
    m_save = new QPushButton(QStringLiteral("Save a copy…"), this);
    name(m_save, m_save->text(), QStringLiteral("Save the document shown as a Markdown file"));
    dimWhenDisabled(m_open);
    dimWhenDisabled(m_save);
    actions->addWidget(m_open);
    actions->addWidget(m_save);
    m_result = caption(QString(), this);
    actions->addWidget(m_result, 1);
    outer->addLayout(actions);

    outer->addSpacing(fontMetrics().height() / 2);
    m_readAndAccept = confirmation(kReadAndAccept, this, outer);
    m_notABackup = confirmation(kNotABackup, this, outer);
    outer->addWidget(caption(QStringLiteral("Decline removes nothing — you can simply uninstall "
                                            "the app. Acceptance is recorded with a timestamp in "
                                            "your home directory; no data is sent to us."),
                             this));

    auto *buttons = new QHBoxLayout;
    m_decline = new QPushButton(QStringLiteral("Decline && Quit"), this);
    name(m_decline, QStringLiteral("Decline & Quit"));
    buttons->addWidget(m_decline);
    buttons->addStretch(1);
    m_continue = new QPushButton(QStringLiteral("Continue"), this);
    name(m_continue, QStringLiteral("Continue"),
         QStringLiteral("Record your acceptance and continue"));
    dimWhenDisabled(m_continue);
    buttons->addWidget(m_continue);
    outer->addLayout(buttons);

    m_keys = new DialogKeys(this);
    m_keys->setDefaultButton(m_continue);
    // The keyboard starts where the person must act: Space ticks, Tab goes to the next.
    m_readAndAccept->setFocus();

    connect(m_open, &QPushButton::clicked, this, &LegalAcceptanceWindow::openInBrowser);
    connect(m_save, &QPushButton::clicked, this, &LegalAcceptanceWindow::saveCopy);
    connect(m_tabs, &QTabWidget::currentChanged, this, &LegalAcceptanceWindow::rebuild);
    connect(m_readAndAccept, &QCheckBox::toggled, this, &LegalAcceptanceWindow::rebuild);
    connect(m_notABackup, &QCheckBox::toggled, this, &LegalAcceptanceWindow::rebuild);
    connect(m_continue, &QPushButton::clicked, this, [this] {
        m_legal.recordAcceptance();
        Q_EMIT accepted();
    });
    connect(m_decline, &QPushButton::clicked, this, &LegalAcceptanceWindow::declined);
    connect(&m_legal, &LegalAcceptance::changed, this, &LegalAcceptanceWindow::rebuild);
    rebuild();
}

QWidget *LegalAcceptanceWindow::documentPage(LegalDocument document) {
    if (const std::optional<QString> text = m_legal.bundledText(document)) {
        auto *view = new MarkdownView(this);
        name(view, title(document));
        view->setMarkdown(*text);
        connect(view, &MarkdownView::linkOpened, this,
                [this](const QUrl &url, const QString &error) {
                    m_result->setText(error.isEmpty() ? QString()
                                                      : QStringLiteral("%1 could not be opened: %2")
                                                            .arg(url.toDisplayString(), error));
                });
        return view;
    }
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 20, 20, 20);
    auto *missing = new QLabel(
        QStringLiteral("Quindle is missing the %1 document.").arg(title(document)), page);
    missing->setWordWrap(true);
    QFont bold = missing->font();
    bold.setBold(true);
    missing->setFont(bold);
    setTone(missing, Tone::Bad);
    layout->addWidget(missing);
    layout->addWidget(caption(QStringLiteral("This is a build error. Quindle cannot proceed "
                                             "without all three required documents available. "
                                             "Please reinstall from the official source."),
                              page));
    layout->addStretch(1);
    return page;
}

LegalDocument LegalAcceptanceWindow::currentDocument() const {
    return legalDocuments().value(m_tabs->currentIndex(), LegalDocument::Terms);
}

void LegalAcceptanceWindow::openInBrowser() {
    const std::optional<QUrl> url = m_legal.bundleUrl(currentDocument());
    if (!url)
        return;
    const std::optional<QString> error = platform::openUrl(*url);
    m_result->setText(error ? QStringLiteral("The document could not be opened: %1").arg(*error)
                            : QString());
}

void LegalAcceptanceWindow::saveCopy() {
    const LegalDocument document = currentDocument();
    if (m_saveDialog)
        m_saveDialog->close();
    auto *dialog = new QFileDialog(
        this, QStringLiteral("Save a copy of the %1").arg(title(document)), platform::homePath());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(QStringLiteral("Markdown (*.md)"));
    dialog->selectFile(baseName(document) + QStringLiteral(".md"));
    connect(dialog, &QFileDialog::fileSelected, this,
            [this, document](const QString &path) { writeCopy(document, path); });
    m_saveDialog = dialog;
    dialog->open();
}

void LegalAcceptanceWindow::writeCopy(LegalDocument document, const QString &path) {
    const std::optional<QString> text = m_legal.bundledText(document);
    const std::optional<QString> error =
        text ? writeFileAtomically(path, text->toUtf8())
             : std::optional(QStringLiteral("The document is missing."));
    m_result->setText(error ? QStringLiteral("The copy could not be saved: %1").arg(*error)
                            : QStringLiteral("Saved a copy as %1.").arg(path));
}

void LegalAcceptanceWindow::rebuild() {
    QStringList updated;
    for (LegalDocument document : m_legal.changedSinceLast())
        updated << title(document);
    m_updated->setText(QStringLiteral("Updated since your last acceptance: ") +
                       updated.join(QStringLiteral(", ")));
    m_updated->setVisible(!updated.isEmpty());
    const bool shipped = m_legal.bundledText(currentDocument()).has_value();
    m_open->setEnabled(shipped);
    m_save->setEnabled(shipped);
    m_continue->setEnabled(m_readAndAccept->isChecked() && m_notABackup->isChecked());
}

} // namespace quindle::ui
