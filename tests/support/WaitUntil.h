#pragma once

#include <QFuture>

#include <gtest/gtest.h>

#include <functional>
#include <type_traits>

namespace quindle::test {

// Processes events until `condition` holds or `timeoutMs` passes; returns the last answer.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);

// Processes events until `future` finishes; its result, if it has one. A future still running
// after 30 s fails the test.
template <typename T> T resultOf(const QFuture<T> &future) {
    if (!waitUntil([&] { return future.isFinished(); }, 30000))
        ADD_FAILURE() << "the future did not finish within 30 s";
    if constexpr (!std::is_void_v<T>)
        return future.result();
}

} // namespace quindle::test
