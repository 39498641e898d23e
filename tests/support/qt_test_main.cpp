// GoogleTest main for tests that need a QApplication. Without a display the offscreen platform
// is used, so that gtest_discover_tests can run the binary at build time on a headless machine.
#include <QApplication>
#include <QTranslator>
#include <QLibraryInfo>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
