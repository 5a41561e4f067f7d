#pragma once

#include "core/StatusModel.h"
#include "ui/Theme.h"

#include <QIcon>

namespace quindle::ui {

// The activity and health dot drawn into the tray icon.
struct DotLook {
    bool visible = false;
    Tone tone = Tone::Neutral;
    bool blinks = false; // alternates between full and 35 % opacity
    bool operator==(const DotLook &) const = default;
};

DotLook dotLook(IconState state, bool activityRunning);

// The drive glyph with the dot at the bottom centre; `blinkOn` false draws a blinking dot faded.
QIcon trayIcon(const DotLook &dot, bool blinkOn);

// The application's own icon, for windows and the fallback window.
QIcon applicationIcon();

} // namespace quindle::ui
