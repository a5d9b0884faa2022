// One QApplication for every GUI test, set up like the program (German texts, settings in a temporary
// folder).
#include "app/gui/VestraApp.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs the program without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TVestraApplication app(argc, argv);
    QTemporaryDir settings;
    SetupApplication(app, settings.path());
    const int rc = RUN_ALL_TESTS();
    TeardownApplication();
    return rc;
}
