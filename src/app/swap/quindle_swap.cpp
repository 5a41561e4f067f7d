// quindle-swap A B: exchanges two paths in one step, so that whoever looks sees either both old
// or both new, never one missing. Used by the updater after Quindle has quit, hence no Qt.
//   exit 0: exchanged; 3: this filesystem cannot exchange (the caller falls back to two renames);
//   1: any other failure, with its reason; 2: wrong arguments.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>

int main(int argc, char *argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: quindle-swap PATH OTHER-PATH\n");
        return 2;
    }
    if (renameat2(AT_FDCWD, argv[1], AT_FDCWD, argv[2], RENAME_EXCHANGE) == 0)
        return 0;
    const int error = errno;
    std::fprintf(stderr, "quindle-swap: cannot exchange %s and %s: %s\n", argv[1], argv[2],
                 std::strerror(error));
    return error == EINVAL || error == ENOTSUP ? 3 : 1;
}
