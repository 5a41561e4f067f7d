#pragma once

class QThreadPool;

namespace quindle {

// The pool for work that blocks on a child process or the disk (du, rm, hashing, service
// sub-commands). Qt's global pool has one thread per core, which a few 60-second service calls
// would exhaust.
QThreadPool *blockingPool();

} // namespace quindle
