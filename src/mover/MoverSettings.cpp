#include "mover/MoverSettings.h"

namespace quindle {
MoverSettings::MoverSettings(QObject *parent) : QObject(parent) {}
} // namespace quindle
