#include "core/WhenFinished.h"

#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QPromise>

#include <gtest/gtest.h>

#include <memory>

using namespace quindle;

TEST(WhenFinished, DeliversFromTheEventLoopNeverInsideTheCall) {
    QObject context;
    QPromise<int> work;
    work.start();
    work.addResult(41);
    work.finish();
    int seen = 0;
    const QFuture<int> delivered =
        whenFinished(work.future(), &context, [&seen](int value) { return seen = value + 1; });
    EXPECT_EQ(seen, 0) << "a result already there still waits for the event loop";
    ASSERT_TRUE(test::waitUntil([&] { return delivered.isFinished(); }));
    EXPECT_EQ(seen, 42);
    EXPECT_EQ(delivered.result(), 42);

    QPromise<void> nothing;
    bool ran = false;
    const QFuture<void> done = whenFinished(nothing.future(), &context, [&ran] { ran = true; });
    nothing.start();
    nothing.finish();
    ASSERT_TRUE(test::waitUntil([&] { return done.isFinished(); }));
    EXPECT_TRUE(ran);
}

TEST(WhenFinished, AContextGoneBeforeTheWorkEndsDropsTheResult) {
    auto context = std::make_unique<QObject>();
    QPromise<int> work;
    work.start();
    bool ran = false;
    const QFuture<int> delivered = whenFinished(work.future(), context.get(), [&ran](int value) {
        ran = true;
        return value;
    });
    context.reset();
    work.addResult(1);
    work.finish();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(delivered.isCanceled());
    EXPECT_TRUE(delivered.isFinished());
}

TEST(WhenFinished, ChangesPostedByTheWorkArriveFirst) {
    QObject context;
    QPromise<void> work;
    work.start();
    QStringList order;
    const QFuture<void> delivered =
        whenFinished(work.future(), &context, [&order] { order << QStringLiteral("result"); });
    QMetaObject::invokeMethod(
        &context, [&order] { order << QStringLiteral("change"); }, Qt::QueuedConnection);
    work.finish();
    ASSERT_TRUE(test::waitUntil([&] { return delivered.isFinished(); }));
    EXPECT_EQ(order, QStringList({"change", "result"}));
}
