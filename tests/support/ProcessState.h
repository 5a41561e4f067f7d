#pragma once

#include <QtGlobal>

namespace quindle::test {

// True once the process is gone, or only waits to be reaped by whoever inherited it.
bool processEnded(qint64 pid);

} // namespace quindle::test
