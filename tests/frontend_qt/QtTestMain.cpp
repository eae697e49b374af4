// The widget tests need one application object for the whole run, made before any widget.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <clocale>

int main(int argc, char** argv) {
    // Test discovery runs this program too, outside ctest's environment: never look for a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    // What the windows remember (QSettings) goes to a test folder, never into the user's settings.
    QStandardPaths::setTestModeEnabled(true);
    // Settings files are read and written in the "C" locale, as in the program itself.
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
