#pragma once

#include <QAbstractButton>
#include <QWidget>

class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace quindle {
class PairHistory;
class PairingModel;
} // namespace quindle

namespace quindle::ui {

// A recent pair as one clickable row: its name above both paths.
class PairRowButton : public QAbstractButton {
    Q_OBJECT
public:
    PairRowButton(const QString &label, const QString &subtitle, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QString m_subtitle;
};

// The remembered pairs: restore one, pin it, forget it, or clear the unpinned ones.
class RecentPairsPanel : public QWidget {
    Q_OBJECT
public:
    RecentPairsPanel(PairHistory &history, PairingModel &pairing, QWidget *parent = nullptr);

    static QString emptyText();

Q_SIGNALS:
    // A pair was loaded into the panes; the popover can close.
    void restored();

private:
    void rebuild();

    PairHistory &m_history;
    PairingModel &m_pairing;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_rows = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    QLabel *m_empty = nullptr;
    QPushButton *m_clear = nullptr;
};

} // namespace quindle::ui
