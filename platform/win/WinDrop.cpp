// Drops on a window: the kept items of each posted WM_DROPFILES, and the
// window widget's drag handlers that turn Qt's drop into one such message.

#include "platform/win/WinDrop.h"

#include "platform/win/NativeWindow.h"
#include "platform/win/WindowWidget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>

namespace {

std::map<std::uintptr_t, std::vector<std::string>>& Drops()
{
    static std::map<std::uintptr_t, std::vector<std::string>> drops;
    return drops;
}

std::set<HWND>& AcceptingWindows()
{
    static std::set<HWND> windows;
    return windows;
}

std::uintptr_t nextDrop = 1;

bool IsWebLink(const QString& text)
{
    return text.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
           text.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
}

} // namespace

void DragAcceptFiles(HWND window, BOOL accept)
{
    if (accept)
        AcceptingWindows().insert(window);
    else
        AcceptingWindows().erase(window);
    if (CNativeWindow* native = CNativeWindow::Find(window))
        if (QWidget* widget = native->Widget())
            widget->setAcceptDrops(accept != FALSE);
}

BOOL AcceptsDroppedFiles(HWND window)
{
    return AcceptingWindows().count(window) != 0 ? TRUE : FALSE;
}

UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT size)
{
    const auto found = Drops().find(reinterpret_cast<std::uintptr_t>(drop));
    if (found == Drops().end())
        return 0;
    const std::vector<std::string>& items = found->second;
    if (index == 0xFFFFFFFFu)
        return static_cast<UINT>(items.size());
    if (index >= items.size())
        return 0;
    const std::string& item = items[index];
    if (buffer != nullptr && size > 0) {
        const std::size_t copied = std::min<std::size_t>(item.size(), size - 1);
        std::memcpy(buffer, item.data(), copied);
        buffer[copied] = '\0';
    }
    return static_cast<UINT>(item.size());
}

void DragFinish(HDROP drop)
{
    Drops().erase(reinterpret_cast<std::uintptr_t>(drop));
}

std::vector<std::string> DroppedItems(HDROP drop)
{
    const auto found = Drops().find(reinterpret_cast<std::uintptr_t>(drop));
    return found != Drops().end() ? found->second : std::vector<std::string>();
}

HDROP PostDroppedItems(HWND window, std::vector<std::string> items)
{
    if (items.empty() || !AcceptsDroppedFiles(window))
        return nullptr;
    if (items.size() > kMostDroppedItems)
        items.resize(kMostDroppedItems);
    const std::uintptr_t id = nextDrop++;
    Drops()[id] = std::move(items);
    auto* drop = reinterpret_cast<HDROP>(id);
    if (!::PostMessage(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0)) {
        DragFinish(drop);
        return nullptr;
    }
    return drop;
}

// ------------------------------------------------------------------ widget

std::vector<std::string> CWindowWidget::DropItems(const QMimeData* data)
{
    std::vector<std::string> items;
    if (data == nullptr)
        return items;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            items.push_back(url.toLocalFile().toStdString());
        else if (IsWebLink(url.toString()))
            items.push_back(url.toString(QUrl::FullyEncoded).toStdString());
    }
    // A link dragged out of some programs comes as plain text only.
    if (items.empty() && data->hasText()) {
        for (const QString& line : data->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString link = line.trimmed();
            if (IsWebLink(link) && !link.contains(QLatin1Char(' ')))
                items.push_back(link.toStdString());
        }
    }
    return items;
}

bool CWindowWidget::TakesDrop(const QMimeData* data) const
{
    // A window under a modal dialog takes no drop, as it takes no input.
    return owner != nullptr && isEnabled() && AcceptsDroppedFiles(owner->Handle()) && !DropItems(data).empty();
}

void CWindowWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (TakesDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CWindowWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (TakesDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CWindowWidget::dropEvent(QDropEvent* event)
{
    if (!TakesDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    PostDroppedItems(owner->Handle(), DropItems(event->mimeData()));
    event->acceptProposedAction();
}
