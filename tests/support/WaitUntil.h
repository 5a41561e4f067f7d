#pragma once

#include <QFuture>

#include <functional>
#include <type_traits>

namespace quindle::test {

// Processes events until `condition` holds or `timeoutMs` passes; returns the last answer.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);

// Processes events until `future` finishes (at most 30 s); its result, if it has one.
template <typename T> T resultOf(const QFuture<T> &future) {
    waitUntil([&] { return future.isFinished(); }, 30000);
    if constexpr (!std::is_void_v<T>)
        return future.result();
}

} // namespace quindle::test
