// Runs the tests inside the application object their folder needs (a
// QApplication for the window's), on the offscreen platform.
#if defined(LARKSPIRE_TEST_APP_Widgets)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(LARKSPIRE_TEST_APP_Gui)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif
#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
