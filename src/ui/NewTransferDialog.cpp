#include "ui/NewTransferDialog.h"

#include "transfers/RemoteManager.h"
#include "transfers/SyncManager.h"
#include "ui/RemoteFolderDialog.h"
#include "ui/RemoteIcon.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

enum SchedulePage { ManualPage, HourlyPage, TimePage };

const Schedule::Kind scheduleKinds[] = {Schedule::Kind::None, Schedule::Kind::Hourly,
                                        Schedule::Kind::Daily, Schedule::Kind::Weekly,
                                        Schedule::Kind::Monthly};

QLabel *help(const QString &text, QWidget *parent) {
    QLabel *label = caption(text, parent);
    label->setTextFormat(Qt::MarkdownText);
    return label;
}

} // namespace

NewTransferDialog::NewTransferDialog(SyncManager &manager, RemoteManager &remotes, QWidget *parent)
    : QDialog(parent)
    , m_manager(manager)
    , m_remotes(remotes) {
    setWindowTitle(QStringLiteral("New Transfer"));
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addWidget(heading(QStringLiteral("New Transfer"), this));

    // A grid, not a form layout: a form gives its wrapped help texts the height they need at
    // another width, cutting them off or leaving gaps.
    auto *fields = new QGridLayout;
    fields->setColumnStretch(1, 1);
    const auto addRow = [this, fields](const QString &text, QWidget *field) {
        const int row = fields->rowCount();
        if (!text.isEmpty())
            fields->addWidget(new QLabel(text, this), row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        fields->addWidget(field, row, 1);
    };
    m_mode = new QComboBox(this);
    for (const JobMode mode : allJobModes)
        m_mode->addItem(label(mode));
    name(m_mode, QStringLiteral("Mode"));
    m_modeDescription = caption(QString(), this);
    addRow(QStringLiteral("Mode:"), m_mode);
    addRow(QString(), m_modeDescription);

    m_source = new QLineEdit(this);
    m_source->setPlaceholderText(QStringLiteral("/home/you/Photos or remote:folder"));
    name(m_source, QStringLiteral("Source"));
    addRow(QStringLiteral("Source:"), endpointRow(m_source));
    m_destination = new QLineEdit(this);
    m_destination->setPlaceholderText(QStringLiteral("remote:Backup or /path/on/the/drive"));
    name(m_destination, QStringLiteral("Destination"));
    addRow(QStringLiteral("Destination:"), endpointRow(m_destination));

    m_bandwidth = new QLineEdit(this);
    m_bandwidth->setPlaceholderText(QStringLiteral("unlimited"));
    name(m_bandwidth, QStringLiteral("Bandwidth limit"));
    addRow(QStringLiteral("Bandwidth limit:"), m_bandwidth);
    addRow(QString(), help(formHelp::bandwidthExamples(), this));
    addRow(QString(), help(formHelp::bandwidthUnits(), this));

    m_transfers = new QSpinBox(this);
    m_transfers->setRange(1, 64);
    m_transfers->setValue(8);
    name(m_transfers, QStringLiteral("Parallel transfers"));
    m_transfers->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    addRow(QStringLiteral("Parallel transfers:"), m_transfers);
    addRow(QString(), help(formHelp::parallelTransfers(), this));

    m_dryRun = new QCheckBox(QStringLiteral("Dry run (preview only)"), this);
    name(m_dryRun, m_dryRun->text());
    addRow(QString(), m_dryRun);
    m_resync = new QCheckBox(QStringLiteral("First run for this pair (--resync)"), this);
    name(m_resync, m_resync->text());
    m_resyncHelp = help(formHelp::resync(), this);
    addRow(QString(), m_resync);
    addRow(QString(), m_resyncHelp);
    addScheduleRows(addRow);
    layout->addLayout(fields);

    m_problem = new QLabel(this);
    m_problem->setWordWrap(true);
    setTone(m_problem, Tone::Bad);
    m_problem->hide();
    layout->addWidget(m_problem);
    layout->addStretch(1);

    auto *buttons = new QDialogButtonBox(this);
    name(buttons->addButton(QDialogButtonBox::Cancel), QStringLiteral("Cancel"));
    QPushButton *add =
        buttons->addButton(QStringLiteral("Add Transfer"), QDialogButtonBox::AcceptRole);
    add->setDefault(true);
    name(add, QStringLiteral("Add Transfer"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(add, &QPushButton::clicked, this, &NewTransferDialog::submit);
    layout->addWidget(buttons);

    for (QComboBox *box : {m_mode, m_scheduleKind, m_weekday})
        connect(box, &QComboBox::currentIndexChanged, this, &NewTransferDialog::refresh);
    for (QSpinBox *box : {m_everyN, m_day})
        connect(box, &QSpinBox::valueChanged, this, &NewTransferDialog::refresh);
    connect(m_time, &QTimeEdit::timeChanged, this, &NewTransferDialog::refresh);
    setMinimumWidth(textWidth(this, 80));
    refresh();
}

// A dialog does not give its wrapped help texts the height they need at its width by itself.
void NewTransferDialog::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    fitHeight();
}

void NewTransferDialog::fitHeight() {
    layout()->activate();
    const int needed = layout()->totalHeightForWidth(width());
    if (needed > 0 && needed != minimumHeight())
        setMinimumHeight(needed);
    if (needed > height())
        resize(width(), needed);
}

void NewTransferDialog::addScheduleRows(const AddRow &addRow) {
    m_scheduleKind = new QComboBox(this);
    m_scheduleKind->addItems({QStringLiteral("Manual only"), QStringLiteral("Every N hours"),
                              QStringLiteral("Daily"), QStringLiteral("Weekly"),
                              QStringLiteral("Monthly")});
    name(m_scheduleKind, QStringLiteral("Schedule"));
    m_scheduleKind->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    addRow(QStringLiteral("Schedule:"), m_scheduleKind);

    m_scheduleFields = new QStackedWidget(this);
    m_scheduleFields->addWidget(help(formHelp::manualOnly(), this));
    auto *hourly = new QWidget(this);
    auto *hourlyRow = new QHBoxLayout(hourly);
    hourlyRow->setContentsMargins(0, 0, 0, 0);
    m_everyN = new QSpinBox(hourly);
    m_everyN->setRange(1, 168);
    m_everyN->setValue(6);
    name(m_everyN, QStringLiteral("Hours between runs"));
    hourlyRow->addWidget(new QLabel(QStringLiteral("Every"), hourly));
    hourlyRow->addWidget(m_everyN);
    hourlyRow->addWidget(new QLabel(QStringLiteral("hours"), hourly));
    hourlyRow->addStretch(1);
    m_scheduleFields->addWidget(hourly);

    auto *timed = new QWidget(this);
    auto *timedRow = new QHBoxLayout(timed);
    timedRow->setContentsMargins(0, 0, 0, 0);
    m_weekday = new QComboBox(timed);
    for (int weekday = 1; weekday <= 7; ++weekday) // 1 = Sunday
        m_weekday->addItem(QLocale().dayName(weekday == 1 ? 7 : weekday - 1));
    name(m_weekday, QStringLiteral("Weekday"));
    m_day = new QSpinBox(timed);
    m_day->setRange(1, 31);
    m_day->setPrefix(QStringLiteral("day "));
    name(m_day, QStringLiteral("Day of the month"));
    m_time = new QTimeEdit(QTime(3, 0), timed);
    m_time->setDisplayFormat(QStringLiteral("HH:mm"));
    name(m_time, QStringLiteral("Time of day"));
    timedRow->addWidget(m_weekday);
    timedRow->addWidget(m_day);
    timedRow->addWidget(new QLabel(QStringLiteral("at"), timed));
    timedRow->addWidget(m_time);
    timedRow->addStretch(1);
    m_scheduleFields->addWidget(timed);
    addRow(QString(), m_scheduleFields);
    m_nextRun = caption(QString(), this);
    addRow(QString(), m_nextRun);
}

TransferForm NewTransferDialog::form() const {
    TransferForm form;
    form.mode = allJobModes[std::max(0, m_mode->currentIndex())];
    form.source = m_source->text();
    form.destination = m_destination->text();
    form.bandwidthLimit = m_bandwidth->text();
    form.transfers = m_transfers->value();
    form.dryRun = m_dryRun->isChecked();
    form.bisyncResync = m_resync->isChecked();
    const QTime time = m_time->time();
    switch (scheduleKinds[std::max(0, m_scheduleKind->currentIndex())]) {
    case Schedule::Kind::None:
        break;
    case Schedule::Kind::Hourly:
        form.schedule = Schedule::hourly(m_everyN->value());
        break;
    case Schedule::Kind::Daily:
        form.schedule = Schedule::daily(time.hour(), time.minute());
        break;
    case Schedule::Kind::Weekly:
        form.schedule = Schedule::weekly(m_weekday->currentIndex() + 1, time.hour(), time.minute());
        break;
    case Schedule::Kind::Monthly:
        form.schedule = Schedule::monthly(m_day->value(), time.hour(), time.minute());
        break;
    }
    return form;
}

void NewTransferDialog::refresh() {
    const TransferForm current = form();
    m_modeDescription->setText(description(current.mode));
    const auto fitLater = qScopeGuard([this] { fitHeight(); });
    const bool bisync = current.mode == JobMode::Bisync;
    m_resync->setEnabled(bisync);
    m_resyncHelp->setVisible(bisync);

    const Schedule::Kind kind = current.schedule.kind;
    m_scheduleFields->setCurrentIndex(kind == Schedule::Kind::None     ? ManualPage
                                      : kind == Schedule::Kind::Hourly ? HourlyPage
                                                                       : TimePage);
    m_weekday->setVisible(kind == Schedule::Kind::Weekly);
    m_day->setVisible(kind == Schedule::Kind::Monthly);
    if (kind == Schedule::Kind::None) {
        m_nextRun->hide();
        return;
    }
    const std::optional<QDateTime> next =
        current.schedule.nextFireDate(QDateTime::currentDateTime(), QTimeZone::systemTimeZone());
    QString text = QStringLiteral("Next run: %1.")
                       .arg(next ? QLocale().toString(next->toLocalTime(), QLocale::LongFormat)
                                 : QStringLiteral("never"));
    if (kind == Schedule::Kind::Monthly && current.schedule.day > 28)
        text += QLatin1Char(' ') + monthlyLastDayHelp();
    m_nextRun->setText(text);
    m_nextRun->show();
}

QWidget *NewTransferDialog::endpointRow(QLineEdit *field) {
    auto *box = new QWidget(this);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(field, 1);
    auto *browse = new QToolButton(this);
    browse->setText(QStringLiteral("Browse"));
    browse->setPopupMode(QToolButton::InstantPopup);
    name(browse, QStringLiteral("Browse ") + field->accessibleName(),
         QStringLiteral("Browse a cloud remote or use its root"));
    browse->setToolTip(QStringLiteral("Browse a cloud remote or use its root"));
    auto *menu = new QMenu(browse);
    // Filled when it opens: the accounts may have changed since the form did.
    connect(menu, &QMenu::aboutToShow, this, [this, menu, field] {
        menu->clear();
        if (m_remotes.remotes().isEmpty())
            menu->addAction(QStringLiteral("No cloud accounts yet."))->setEnabled(false);
        for (const Remote &remote : m_remotes.remotes()) {
            QMenu *choices = menu->addMenu(remoteIcon(this, remote.type), remote.name);
            choices->addAction(QStringLiteral("Browse Folders…"), this, [this, remote, field] {
                auto *browser = new RemoteFolderDialog(m_remotes, remote, this);
                browser->setAttribute(Qt::WA_DeleteOnClose);
                connect(browser, &QDialog::accepted, field,
                        [browser, field] { field->setText(browser->chosenPath()); });
                browser->open();
            });
            choices->addAction(QStringLiteral("Use Its Root (%1)").arg(remote.rootPath()), field,
                               [field, remote] { field->setText(remote.rootPath()); });
        }
    });
    browse->setMenu(menu);
    row->addWidget(browse);
    return box;
}

void NewTransferDialog::submit() {
    const QHash<QString, QString> remotes = m_manager.remoteTypes();
    std::variant<SyncJob, QString> made =
        form().makeJob([&](const QString &name) { return remotes.contains(name); });
    if (const QString *problem = std::get_if<QString>(&made)) {
        m_problem->setText(*problem);
        m_problem->show();
        fitHeight();
        return;
    }
    if (!m_manager.enqueue(std::get<SyncJob>(std::move(made)))) {
        m_problem->setText(QStringLiteral("The same transfer is already active."));
        m_problem->show();
        return;
    }
    accept();
}

} // namespace quindle::ui
