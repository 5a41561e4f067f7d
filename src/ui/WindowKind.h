#pragma once

#include <QSize>
#include <QString>

namespace quindle::ui {

// Every window the application opens; at most one of each exists at a time.
enum class WindowKind { SetupWizard, ServiceStart, Log, RulesConfig, Inspect, ChooseDrive, Tier };

struct WindowSpec {
    QString title;
    QSize size;
    bool resizable;
};

WindowSpec specFor(WindowKind kind);

} // namespace quindle::ui
