#include "ui/InspectWindow.h"

#include "insight/NVMeInspector.h"
#include "ui/DialogKeys.h"
#include "ui/StatusIcons.h"
#include "ui/Theme.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

constexpr int kVerdictIconSize = 40;

Tone toneOf(NVMeInspection::Tone tone) {
    switch (tone) {
    case NVMeInspection::Tone::Good:
        return Tone::Good;
    case NVMeInspection::Tone::Warning:
        return Tone::Warning;
    case NVMeInspection::Tone::Bad:
        break;
    }
    return Tone::Bad;
}

QLabel *valueLabel(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

} // namespace

InspectWindow::InspectWindow(NVMeInspector &inspector, QWidget *parent)
    : QWidget(parent)
    , m_inspector(inspector) {
    auto *outer = new QVBoxLayout(this);

    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    auto *content = new QWidget(scroll);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    m_header = new QWidget(content);
    auto *header = new QHBoxLayout(m_header);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(12);
    m_icon = new QLabel(m_header);
    m_icon->setFixedSize(kVerdictIconSize, kVerdictIconSize);
    header->addWidget(m_icon, 0, Qt::AlignTop);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    m_headline = heading(QString(), m_header);
    m_subtitle = caption(QString(), m_header);
    m_subtitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    titles->addWidget(m_headline);
    titles->addWidget(m_subtitle);
    header->addLayout(titles, 1);
    layout->addWidget(m_header);

    m_placeholder = new QLabel(content);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setWordWrap(true);
    m_placeholder->setForegroundRole(QPalette::PlaceholderText);
    m_placeholder->setMinimumHeight(120);
    layout->addWidget(m_placeholder);

    m_details = card(content);
    m_rows = new QFormLayout(m_details);
    m_rows->setContentsMargins(14, 12, 14, 12);
    m_rows->setHorizontalSpacing(16);
    m_rows->setVerticalSpacing(6);
    m_rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_rows->setRowWrapPolicy(QFormLayout::DontWrapRows);
    m_rows->setLabelAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_details);

    m_validation = card(content);
    auto *validation = new QVBoxLayout(m_validation);
    validation->setContentsMargins(14, 12, 14, 12);
    validation->setSpacing(4);
    m_validationTitle = heading(QString(), m_validation);
    m_validationText = valueLabel(QString(), m_validation);
    validation->addWidget(m_validationTitle);
    validation->addWidget(m_validationText);
    layout->addWidget(m_validation);
    layout->addStretch(1);

    scroll->setWidget(content);
    outer->addWidget(scroll, 1);

    auto *buttons = new QHBoxLayout;
    m_busy = caption(QString(), this);
    buttons->addWidget(m_busy, 1);
    m_refresh = new QPushButton(QStringLiteral("Refresh"), this);
    name(m_refresh, QStringLiteral("Refresh"), QStringLiteral("Read the drive's details again"));
    dimWhenDisabled(m_refresh);
    buttons->addWidget(m_refresh);
    m_validate = new QPushButton(QStringLiteral("Validate"), this);
    name(m_validate, QStringLiteral("Validate"),
         QStringLiteral("Check that the mounted drive is the prepared NVMe"));
    dimWhenDisabled(m_validate);
    buttons->addWidget(m_validate);
    outer->addLayout(buttons);

    m_keys = new DialogKeys(this);
    m_keys->setDefaultButton(m_validate);

    connect(m_refresh, &QPushButton::clicked, &m_inspector, &NVMeInspector::refresh);
    connect(m_validate, &QPushButton::clicked, &m_inspector, &NVMeInspector::validate);
    connect(&m_inspector, &NVMeInspector::changed, this, &InspectWindow::rebuild);
    rebuild();
}

void InspectWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!m_readOnce) {
        m_readOnce = true;
        m_inspector.refresh();
    }
}

void InspectWindow::rebuild() {
    const std::optional<NVMeInfo> &info = m_inspector.info();
    const QString placeholder = m_inspector.placeholderText();

    m_header->setVisible(info.has_value());
    m_details->setVisible(info.has_value());
    // Without details the placeholder stands in their place; with them, a refresh in progress
    // is only mentioned beside the buttons so the details do not flicker away.
    m_placeholder->setVisible(!info);
    m_placeholder->setText(placeholder.isEmpty() ? QStringLiteral("Reading NVMe info…")
                                                 : placeholder);
    if (info) {
        const NVMeInspection inspection = NVMeInspection::from(*info);
        m_headline->setText(inspection.headline);
        setTone(m_headline, toneOf(inspection.tone));
        m_subtitle->setText(inspection.subtitle);
        switch (inspection.tone) {
        case NVMeInspection::Tone::Good:
            m_icon->setPixmap(shieldIcon(this, kVerdictIconSize));
            break;
        case NVMeInspection::Tone::Warning:
            m_icon->setPixmap(warningIcon(this, kVerdictIconSize));
            break;
        case NVMeInspection::Tone::Bad:
            m_icon->setPixmap(errorIcon(this, kVerdictIconSize));
            break;
        }
        name(m_icon, inspection.headline);
        rebuildRows();
    }

    const std::optional<bool> &passed = m_inspector.validationPassed();
    m_validation->setVisible(passed.has_value());
    if (passed) {
        m_validationTitle->setText(*passed ? QStringLiteral("Valid") : QStringLiteral("Invalid"));
        setTone(m_validationTitle, *passed ? Tone::Good : Tone::Bad);
        m_validationText->setText(m_inspector.validationText());
    }

    if (m_inspector.isValidating())
        m_busy->setText(QStringLiteral("Validating…"));
    else if (info && m_inspector.isRefreshing())
        m_busy->setText(placeholder);
    else
        m_busy->clear();
    m_refresh->setEnabled(!m_inspector.isRefreshing());
    m_validate->setEnabled(!m_inspector.isValidating());
}

void InspectWindow::rebuildRows() {
    while (m_rows->rowCount() > 0)
        m_rows->removeRow(0);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const NVMeInspection::Row &row : NVMeInspection::from(*m_inspector.info()).rows) {
        auto *label = new QLabel(row.label, m_details);
        label->setForegroundRole(QPalette::PlaceholderText);
        auto *value = valueLabel(row.value, m_details);
        if (row.monospace)
            value->setFont(fixed);
        name(value, row.label);
        m_rows->addRow(label, value);
    }
}

} // namespace quindle::ui
