#include "support/Unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quindle::test {

namespace {
constexpr uid_t kNobody = 65534;
}

bool isRoot() {
    return geteuid() == 0;
}

int runUnprivileged(const std::function<int()> &body) {
    if (!isRoot())
        return body();
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(255);
        _exit(body() & 0xff);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

} // namespace quindle::test
