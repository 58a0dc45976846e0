// The floor of the start-up figures: a bare Qt Widgets window, frameless and
// of the size given, that paints nothing but its palette's background.
//
//   bench_bare_window WIDTH HEIGHT

#include <QApplication>
#include <QWidget>

#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const int width = argc > 2 ? std::atoi(argv[1]) : 600;
    const int height = argc > 2 ? std::atoi(argv[2]) : 640;
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.resize(width, height);
    window.show();
    return application.exec();
}
