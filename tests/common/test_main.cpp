// SPDX-License-Identifier: GPL-3.0-or-later
// The test executables' main: a Qt application object (for events), then GoogleTest.
#include <gtest/gtest.h>

#ifdef PARLOTYPE_TEST_GUI
#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

// Set-up that must precede the application object (URL schemes, attributes).
extern "C" void parlotype_before_app() __attribute__((weak));

int main(int argc, char** argv) {
    if (parlotype_before_app) parlotype_before_app();
    TestApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
