#pragma once

#include <functional>

namespace quindle::test {

// Processes events until `condition` holds or `timeoutMs` passes; returns the last answer.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);

} // namespace quindle::test
