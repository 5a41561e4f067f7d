#include "mover/MoverLog.h"

namespace quindle {
MoverLog::MoverLog(QObject *parent) : QObject(parent) {}
} // namespace quindle
