#include "platform/HardwareModel.h"

#include <QFile>
#include <QStringList>
#include <QSysInfo>

namespace quindle::platform {

namespace {

QString firmwareField(const QString &dmiFolder, const char *name) {
    QFile file(dmiFolder + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(256)).simplified();
}

} // namespace

QString hardwareModel(const QString &dmiFolder) {
    QStringList parts;
    for (const char *name : {"sys_vendor", "product_name"})
        if (const QString field = firmwareField(dmiFolder, name); !field.isEmpty())
            parts << field;
    return parts.isEmpty() ? QStringLiteral("unknown") : parts.join(QLatin1Char(' '));
}

QString operatingSystemVersion() {
    return QSysInfo::prettyProductName() + QStringLiteral(", kernel ") + QSysInfo::kernelVersion();
}

} // namespace quindle::platform
