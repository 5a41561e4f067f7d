#include "core/LoginItem.h"

#include "platform/AutostartEntry.h"

#include <QCoreApplication>

namespace quindle {

LoginItem::LoginItem(QObject *parent)
    : QObject(parent) {}

LoginItem &LoginItem::shared() {
    static LoginItem item;
    return item;
}

bool LoginItem::isEnabled() const {
    return platform::autostartEntryEnabled(entryFileName());
}

void LoginItem::setEnabled(bool enabled) {
    m_lastError = enabled ? platform::writeAutostartEntry(
                                entryFileName(), {QStringLiteral("Quindle"),
                                                  QStringLiteral("Start Quindle when you log in."),
                                                  {applicationProgram()}})
                          : platform::removeAutostartEntry(entryFileName());
    Q_EMIT changed();
}

QString LoginItem::applicationProgram() {
    return QCoreApplication::applicationFilePath();
}

QString LoginItem::entryFileName() {
    return QStringLiteral("quindle.desktop");
}

} // namespace quindle
