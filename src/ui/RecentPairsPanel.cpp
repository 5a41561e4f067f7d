#include "ui/RecentPairsPanel.h"

#include "tier/PairHistory.h"
#include "tier/PairingModel.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStyleOptionFocusRect>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quindle::ui {

namespace {

const QString kPin = QStringLiteral("pin");
const QString kForget = QStringLiteral("forget");
const QString kRestore = QStringLiteral("restore");

QString pinHelp() {
    return QStringLiteral("Pin — keep this pair at the top, exempt from the recency cap.");
}

} // namespace

PairRowButton::PairRowButton(const QString &label, const QString &subtitle, QWidget *parent)
    : QAbstractButton(parent)
    , m_subtitle(subtitle) {
    setText(label);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize PairRowButton::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {240, metrics.height() * 2 + 10};
}

void PairRowButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QRect area = rect();
    if (underMouse() || isDown() || hasFocus()) {
        QColor wash = palette().color(QPalette::Highlight);
        wash.setAlphaF(isDown() ? 0.25f : 0.12f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(wash);
        painter.drawRoundedRect(area, 4, 4);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = area.adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
    const QRect inner = area.adjusted(6, 4, -6, -4);
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(palette().color(QPalette::WindowText));
    const int line = fontMetrics().height();
    painter.drawText(QRect(inner.left(), inner.top(), inner.width(), line),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(bold).elidedText(text(), Qt::ElideRight, inner.width()));
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(QRect(inner.left(), inner.top() + line, inner.width(), line),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(m_subtitle, Qt::ElideMiddle, inner.width()));
}

void PairRowButton::enterEvent(QEnterEvent *event) {
    QAbstractButton::enterEvent(event);
    update();
}

void PairRowButton::leaveEvent(QEvent *event) {
    QAbstractButton::leaveEvent(event);
    update();
}

RecentPairsPanel::RecentPairsPanel(PairHistory &history, PairingModel &pairing, QWidget *parent)
    : QWidget(parent)
    , m_history(history)
    , m_pairing(pairing) {
    setFixedWidth(textWidth(this, 66));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(heading(QStringLiteral("Recent pairs"), this));

    const RowList list = rowList(this, 2);
    m_scroll = list.scroll;
    m_rows = list.content;
    m_rowsLayout = list.rows;
    layout->addWidget(m_scroll);

    m_empty = caption(emptyText(), this);
    layout->addWidget(m_empty);

    auto *footer = new QHBoxLayout;
    footer->addStretch(1);
    m_clear = new QPushButton(QStringLiteral("Clear"), this);
    name(m_clear, QStringLiteral("Clear recent pairs"), PairHistory::clearHelp());
    dimWhenDisabled(m_clear);
    footer->addWidget(m_clear);
    layout->addLayout(footer);

    connect(m_clear, &QPushButton::clicked, &m_history, &PairHistory::clear);
    connect(&m_history, &PairHistory::recordsChanged, this, &RecentPairsPanel::rebuild);
    rebuild();
}

QString RecentPairsPanel::emptyText() {
    return QStringLiteral("No recent pairs yet. Pairs you make appear here.");
}

void RecentPairsPanel::rebuild() {
    // Pinning from the keyboard rebuilds the rows; the focus goes back to the same control.
    QString focusedPair;
    QString focusedRole;
    if (QWidget *focused = QApplication::focusWidget(); focused && m_rows->isAncestorOf(focused)) {
        focusedPair = focused->property("pair").toString();
        focusedRole = focused->property("role").toString();
    }
    // Later: the clicked button may be the one whose signal is running.
    while (QLayoutItem *item = m_rowsLayout->takeAt(0)) {
        if (QWidget *old = item->widget()) {
            old->hide();
            old->deleteLater();
        }
        delete item;
    }

    QWidget *refocus = nullptr;
    for (const PairRecord &record : m_history.records()) {
        auto *row = new QFrame(m_rows);
        if (record.isPinned) {
            // The orange wash the clear action's help text refers to.
            QColor wash = statusColor(Tone::Warning);
            wash.setAlphaF(0.16f);
            row->setObjectName(QStringLiteral("pinnedPair"));
            row->setStyleSheet(QStringLiteral("QFrame#pinnedPair { background: %1; "
                                              "border-radius: 5px; }")
                                   .arg(wash.name(QColor::HexArgb)));
        }
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 4, 0);
        rowLayout->setSpacing(4);

        auto *restore = new PairRowButton(record.label(), record.subtitle(), row);
        name(restore, record.label(), record.subtitle());
        auto *pin = new QToolButton(row);
        pin->setText(record.isPinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"));
        name(pin,
             (record.isPinned ? QStringLiteral("Unpin ") : QStringLiteral("Pin ")) + record.label(),
             record.isPinned ? PairHistory::unpinHelp() : pinHelp());
        auto *forget = new QToolButton(row);
        forget->setText(QStringLiteral("×"));
        name(forget, QStringLiteral("Forget ") + record.label(),
             QStringLiteral("Forget this pair"));
        for (QWidget *control : {static_cast<QWidget *>(restore), static_cast<QWidget *>(pin),
                                 static_cast<QWidget *>(forget)}) {
            control->setProperty("pair", record.id());
            control->setFocusPolicy(Qt::StrongFocus);
        }
        restore->setProperty("role", kRestore);
        pin->setProperty("role", kPin);
        forget->setProperty("role", kForget);
        rowLayout->addWidget(restore, 1);
        rowLayout->addWidget(pin);
        rowLayout->addWidget(forget);
        m_rowsLayout->addWidget(row);

        if (record.id() == focusedPair)
            refocus = focusedRole == kPin      ? static_cast<QWidget *>(pin)
                      : focusedRole == kForget ? static_cast<QWidget *>(forget)
                                               : static_cast<QWidget *>(restore);

        connect(restore, &QAbstractButton::clicked, this, [this, record] {
            m_pairing.restore(record);
            Q_EMIT restored();
        });
        connect(pin, &QToolButton::clicked, this,
                [this, record] { m_history.setPinned(record, !record.isPinned); });
        connect(forget, &QToolButton::clicked, this, [this, record] { m_history.forget(record); });
    }

    const bool empty = m_history.records().isEmpty();
    m_scroll->setVisible(!empty);
    m_empty->setVisible(empty);
    m_clear->setEnabled(std::any_of(m_history.records().cbegin(), m_history.records().cend(),
                                    [](const PairRecord &record) { return !record.isPinned; }));
    if (refocus)
        refocus->setFocus(Qt::OtherFocusReason);
    else if (!focusedPair.isEmpty() && m_clear->isEnabled())
        m_clear->setFocus(Qt::OtherFocusReason);
    // Up to eight rows before the list scrolls. New rows are not shown yet, so the layout would
    // not count them.
    int height = 0;
    for (int i = 0; i < std::min(m_rowsLayout->count(), 8); ++i)
        height += m_rowsLayout->itemAt(i)->widget()->sizeHint().height() + m_rowsLayout->spacing();
    m_scroll->setFixedHeight(height);
    updateGeometry(); // the popover caches this panel's size
    if (QWidget *popup = window(); popup != this && popup->isVisible())
        popup->adjustSize();
}

} // namespace quindle::ui
