#include <QApplication>

#include <gtest/gtest.h>

// Widgets need a QApplication, drawn off screen, also when the binary is only asked to list its
// tests at build time.
int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
