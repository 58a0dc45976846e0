// Image decoding reaches Qt's format plugins (JPEG), which want an
// application object; no window is shown, so a core application is enough.

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
