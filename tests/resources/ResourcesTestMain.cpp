// Entry of the resource tests: fonts and image plug-ins need a Qt GUI
// application. Every case runs headless; CTest sets QT_QPA_PLATFORM=offscreen
// for the cases, but not for the listing of the cases at discovery, so the
// default is set here as well.

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
