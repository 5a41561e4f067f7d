#pragma once

#include <QWidget>

namespace quindle::ui {

// Settings → Privacy: the switch for usage events, off until the person turns it on, and what
// turning it on sends.
class PrivacyPane : public QWidget {
    Q_OBJECT
public:
    explicit PrivacyPane(QWidget *parent = nullptr);
};

} // namespace quindle::ui
