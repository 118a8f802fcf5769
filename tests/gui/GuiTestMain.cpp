// The GUI tests run inside one QApplication on the offscreen platform.
#include <QApplication>

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// The checked-in suppressions for Qt, which is not instrumented; TSAN_OPTIONS given
// in the environment come on top.
extern "C" const char* __tsan_default_options()
{
    return "suppressions=" ONDREL_SOURCE_DIR "/tests/tsan.supp";
}
#endif

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
