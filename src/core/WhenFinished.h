#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QPromise>

#include <memory>
#include <type_traits>
#include <utility>

namespace quindle {

namespace detail {
template <typename T, typename Func> struct DeliveredType {
    using type = std::invoke_result_t<Func, const T &>;
};
template <typename Func> struct DeliveredType<void, Func> {
    using type = std::invoke_result_t<Func>;
};
} // namespace detail

// Runs `func` with the result of `future` on `context`'s thread, always from the event loop and
// never inside this call. Unlike QFuture::then(context, …), a context destroyed before the work
// ends is not an error: the watcher it owns goes with it, `func` never runs and the returned
// future is cancelled.
template <typename T, typename Func>
auto whenFinished(QFuture<T> future, QObject *context, Func &&func) {
    using R = typename detail::DeliveredType<T, Func>::type;
    auto promise = std::make_shared<QPromise<R>>();
    QFuture<R> delivered = promise->future();
    promise->start();
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, future, promise, func = std::forward<Func>(func)]() mutable {
                         watcher->deleteLater();
                         if (future.isCanceled()) {
                             promise->future().cancel();
                         } else if constexpr (std::is_void_v<T> && std::is_void_v<R>) {
                             func();
                         } else if constexpr (std::is_void_v<T>) {
                             promise->addResult(func());
                         } else if constexpr (std::is_void_v<R>) {
                             func(future.result());
                         } else {
                             promise->addResult(func(future.result()));
                         }
                         promise->finish();
                     });
    watcher->setFuture(future);
    return delivered;
}

} // namespace quindle
