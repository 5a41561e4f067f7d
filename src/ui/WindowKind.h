#pragma once

#include <QFont>
#include <QKeySequence>
#include <QSize>
#include <QString>

namespace quindle::ui {

// Every window the application opens; at most one of each exists at a time.
enum class WindowKind {
    UpdatePrompt,
    LegalAcceptance,
    SetupWizard,
    ServiceStart,
    Log,
    RulesConfig,
    Inspect,
    ChooseDrive,
    Tier,
    Uninstall,
    Settings
};

struct WindowSpec {
    QString title;
    QSize size;
    bool resizable;
};

WindowSpec specFor(WindowKind kind);

// The keys that open Settings from every window: Ctrl+,.
QKeySequence settingsShortcut();

// The window's design size grown with the font (the sizes are drawn for a 9 pt desktop font),
// within `available`.
QSize openingSize(WindowKind kind, const QFont &font, const QSize &available);

} // namespace quindle::ui
