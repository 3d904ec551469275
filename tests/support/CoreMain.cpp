// GoogleTest main for tests that need an event loop (the engine posts to it).
#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true); // never the user's own settings
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
