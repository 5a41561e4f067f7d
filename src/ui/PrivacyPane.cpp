#include "ui/PrivacyPane.h"

#include "ui/Theme.h"
#include "updates/TelemetryClient.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

namespace quindle::ui {

PrivacyPane::PrivacyPane(QWidget *parent)
    : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading(QStringLiteral("Privacy"), this));
    auto *events = new QCheckBox(QStringLiteral("Share usage events"), this);
    events->setChecked(TelemetryClient::switchedOn());
    name(events, events->text());
    connect(events, &QCheckBox::toggled, this, [events](bool on) {
        if (!TelemetryClient::setSwitchedOn(on)) {
            const QSignalBlocker quiet(events);
            events->setChecked(!on);
        }
    });
    layout->addWidget(events);
    auto *help = new QLabel(
        QStringLiteral(
            "When this is on, Quindle tells its makers three things, and only while its update "
            "service allows it:\n"
            "  • that Quindle started: its version, the kind of desktop and whether it has a "
            "tray icon;\n"
            "  • that a transfer ended: its mode, how it ended and the kind of account;\n"
            "  • that you sent feedback: its category.\n"
            "Each request carries an ID of this computer that only Quindle uses (made from its "
            "machine ID, which it does not reveal); never a name, a path, an account or an "
            "email address."),
        this);
    help->setWordWrap(true);
    setTone(help, Tone::Neutral);
    layout->addWidget(help);
    layout->addStretch(1);
}

} // namespace quindle::ui
