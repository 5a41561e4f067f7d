#include "platform/UserService.h"

#include "platform/DetachedService.h"
#include "platform/SystemdUserService.h"

namespace quindle::platform {

QString serviceSearchPath() {
    return QStringLiteral("/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin");
}

std::unique_ptr<ServiceManager> makeServiceManager(ServiceManagerKind kind, CommandRunner runner) {
    if (kind == ServiceManagerKind::SystemdUser)
        return makeSystemdUserManager(std::move(runner));
    return makeDetachedManager();
}

std::unique_ptr<ServiceManager> userServiceManager(CommandRunner runner) {
    return makeServiceManager(detectServiceManager(), std::move(runner));
}

} // namespace quindle::platform
