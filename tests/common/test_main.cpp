// SPDX-License-Identifier: GPL-3.0-or-later
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

// A test executable may define this to run set-up that must precede the
// application object (registering URL schemes, application attributes).
extern "C" void parlotype_before_app() __attribute__((weak));

int main(int argc, char** argv) {
    if (parlotype_before_app) parlotype_before_app();
    TestApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
