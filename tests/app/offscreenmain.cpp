// The desktop tests run with Qt's offscreen platform and one application object for the whole run.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The help pages and demo data as the build made them; the installed layout has its own test.
    qputenv("TERAVOX_SHARE_DIR", TERAVOX_TEST_SHARE_DIR);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
