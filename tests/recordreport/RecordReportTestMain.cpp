#include <QByteArray>
#include <QGuiApplication>
#include <gtest/gtest.h>

// One QGuiApplication per test process (painting text needs its fonts); offscreen unless the caller chose a
// platform.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
