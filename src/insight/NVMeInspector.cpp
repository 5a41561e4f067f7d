#include "insight/NVMeInspector.h"

#include "core/ServiceBridge.h"
#include "core/ServiceScripts.h"
#include "core/WhenFinished.h"

namespace quindle {

NVMeInspector::NVMeInspector(QObject *parent)
    : QObject(parent) {}

QString NVMeInspector::placeholderText() const {
    if (m_refreshing)
        return QStringLiteral("Reading NVMe info…");
    if (m_refreshFailed)
        return QStringLiteral("Could not read NVMe info.");
    return {};
}

void NVMeInspector::refresh() {
    if (m_refreshing)
        return;
    m_refreshing = true;
    Q_EMIT changed();
    whenFinished(
        ServiceBridge::runProcess(service::program(), service::arguments(service::nvmeInfo),
                                  service::subCommandTimeout),
        this, [this](const ProcessOutput &result) {
            m_refreshing = false;
            m_info = result.status == 0 ? NVMeInfo::decode(result.output.toUtf8()) : std::nullopt;
            m_refreshFailed = !m_info;
            Q_EMIT changed();
        });
}

void NVMeInspector::validate() {
    if (m_validating)
        return;
    m_validating = true;
    Q_EMIT changed();
    whenFinished(ServiceBridge::runProcess(service::program(),
                                           service::arguments(service::validate),
                                           service::subCommandTimeout),
                 this, [this](const ProcessOutput &result) {
                     m_validating = false;
                     m_validationPassed = result.status == 0;
                     m_validationText = result.output.trimmed();
                     Q_EMIT changed();
                     refresh();
                 });
}

} // namespace quindle
