// Shared main of the test executables: a Qt application object first, so that
// events can be posted and dispatched, then GoogleTest.
#include <gtest/gtest.h>

#ifdef PARLOTYPE_TEST_GUI
#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

int main(int argc, char** argv) {
    TestApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
