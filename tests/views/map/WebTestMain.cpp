// main() of the tests that run the web engine: a widget application, offscreen unless
// QT_QPA_PLATFORM says otherwise, that loads the engine when a page is first shown, as the
// program does. The engine's sandbox cannot run as root (CI does).
#include <unistd.h>

#include <cstdlib>

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
