// GoogleTest main for widget tests: the offscreen platform is chosen before the
// application object exists, so the tests (and their discovery) run headless.
#include "widgets/Symbols.h"

#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    Symbols::setUpTheme();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
