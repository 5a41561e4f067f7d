#pragma once

#include "tier/TierTypes.h"

#include <QFrame>
#include <QTimer>

#include <chrono>
#include <optional>

class QGraphicsOpacityEffect;
class QLabel;
class QPropertyAnimation;

namespace quindle::ui {

// A short message that shows for a few seconds and fades out by itself, bordered in the colour
// of its tone and announced to screen readers. Hovering keeps it up.
class ToastLabel : public QFrame {
    Q_OBJECT
public:
    explicit ToastLabel(QWidget *parent = nullptr);

    void post(const Toast &toast);
    const Toast &current() const { return m_toast; }
    QLabel *textLabel() const { return m_text; }

    // How long a message stays before it fades; by default it grows with the text's length.
    void setHoldTime(std::chrono::milliseconds hold) { m_holdOverride = hold; }

Q_SIGNALS:
    void posted();
    void faded();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    std::chrono::milliseconds holdTime() const;
    void restyle();

    QLabel *m_text = nullptr;
    QGraphicsOpacityEffect *m_opacity = nullptr;
    QPropertyAnimation *m_fade = nullptr;
    QTimer m_hold;
    Toast m_toast;
    std::optional<std::chrono::milliseconds> m_holdOverride;
};

} // namespace quindle::ui
