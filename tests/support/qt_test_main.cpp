// The main of every test program: an isolated home, then one QApplication for the whole run,
// on the offscreen platform or, for display tests, on the test environment's Xvfb display.
#include "test_env.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    // Looked for before InitGoogleTest, which takes its own flags out of argv.
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;

    ::testing::InitGoogleTest(&argc, argv);
    testenv::IsolateHome();

#ifdef VANDREL_TEST_USES_DISPLAY
    const QByteArray display = testenv::Display().toUtf8();
    if (!listing && display.isEmpty()) {
        std::fprintf(stderr, "no Xvfb display: run this test through ctest (make test)\n");
        return 1;
    }
    setenv("DISPLAY", display.constData(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
#else
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif

    std::unique_ptr<QApplication> app;
    if (!listing)
        app = std::make_unique<QApplication>(argc, argv);
    return RUN_ALL_TESTS();
}
