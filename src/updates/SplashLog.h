#pragma once

#include <QString>

#include <chrono>

namespace quindle {

// One line of the launch splash's diagnostics, prefixed "Splash: ".
void splashLog(const QString &line);

// A limit as the splash's lines name it: "7.0s".
QString limitText(std::chrono::milliseconds limit);

} // namespace quindle
