#include <QApplication>
#include <QByteArray>
#include <gtest/gtest.h>

// One QApplication per test process (fonts, printers, the clipboard and the print dialog need it); drawn
// offscreen unless the caller chose a platform.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
