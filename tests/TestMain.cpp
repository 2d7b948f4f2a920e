#include <QCoreApplication>
#include <gtest/gtest.h>

// One application object per test process: file and timer code under test expects one to exist.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
