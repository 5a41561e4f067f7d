#include "updates/SplashLog.h"

#include <QtDebug>

namespace quindle {

void splashLog(const QString &line) {
    qInfo().noquote() << QStringLiteral("Splash: ") + line;
}

QString limitText(std::chrono::milliseconds limit) {
    return QString::number(double(limit.count()) / 1000.0, 'f', 1) + QLatin1Char('s');
}

} // namespace quindle
