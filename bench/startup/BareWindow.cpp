// The floors of the start-up figures: a bare Qt Widgets window, frameless
// and of the size given, that paints nothing but its palette's background.
//
// Built twice. bench_bare_window links Qt Widgets alone. With
// BARE_WINDOW_WITH_GSTREAMER (bench_bare_player_window) it also starts
// GStreamer on a thread of its own at the process start and makes a playbin
// before the window shows, as a player that is ready to play at its first
// paint must: the least such a program can cost, before its own window,
// skin, font and catalogue.
//
//   bench_bare_window WIDTH HEIGHT
//   bench_bare_player_window WIDTH HEIGHT

#include <QApplication>
#include <QWidget>

#include <cstdlib>

#ifdef BARE_WINDOW_WITH_GSTREAMER
#include <gst/gst.h>

#include <thread>
#endif

int main(int argc, char** argv)
{
#ifdef BARE_WINDOW_WITH_GSTREAMER
    std::thread starting([] { gst_init(nullptr, nullptr); });
#endif
    QApplication application(argc, argv);
    const int width = argc > 2 ? std::atoi(argv[1]) : 600;
    const int height = argc > 2 ? std::atoi(argv[2]) : 640;
#ifdef BARE_WINDOW_WITH_GSTREAMER
    starting.join();
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (playbin == nullptr)
        return 1;
#endif
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.resize(width, height);
    window.show();
    const int result = application.exec();
#ifdef BARE_WINDOW_WITH_GSTREAMER
    gst_object_unref(playbin);
#endif
    return result;
}
