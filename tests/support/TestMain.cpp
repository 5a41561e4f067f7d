#include <QCoreApplication>

#include <gtest/gtest.h>

// One application object for the whole run: engines need an event loop and Qt's threads.
int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
