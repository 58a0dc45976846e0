// The one piece of the desktop helpers that needs Qt.

#include "support/DesktopSession.h"

#include <QCoreApplication>

namespace desktoptest {

void PumpQt()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::processEvents();
}

} // namespace desktoptest
