#include "platform/shell/StartFailure.h"

#include "platform/win/WinApplication.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The window title of the box.
constexpr char kProgramTitle[] = "Orvane网络收音机";

bool Set(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0';
}

// Whether a box could be shown at all, asked before Qt is started: Qt ends
// the process when its platform finds no display.
bool DisplayNamed()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && (std::strncmp(platform, "offscreen", 9) == 0 || std::strncmp(platform, "minimal", 7) == 0))
        return false;
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

} // namespace

void ReportStartFailure(const std::string& message)
{
    std::fprintf(stderr, "orvane-radio: %s\n", message.c_str());
    std::fflush(stderr);
    if (!DisplayNamed() || !CWinApplication::Ensure())
        return;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kProgramTitle), QString::fromStdString(message),
                    QMessageBox::Ok);
    box.exec();
}
