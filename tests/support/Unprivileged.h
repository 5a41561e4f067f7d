#pragma once

#include <functional>

namespace quindle::test {

// Runs `body` without root's power to read everything, so permission failures can be tested
// where the suite runs as root (CI): as root it forks and the child becomes "nobody". Returns
// body's result, or -1 when the child could not drop privileges.
int runUnprivileged(const std::function<int()> &body);

// The suite runs with root's privileges (CI does).
bool isRoot();

} // namespace quindle::test
