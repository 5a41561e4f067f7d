#pragma once

#include <QLabel>
#include <QString>

namespace quindle::ui {

// One line of text that shortens itself with an ellipsis instead of widening its column; the
// whole text stays available as the tooltip and to screen readers.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideMiddle, QWidget *parent = nullptr);

    void setFullText(const QString &text);
    const QString &fullText() const { return m_full; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString m_full;
    Qt::TextElideMode m_mode;
};

} // namespace quindle::ui
