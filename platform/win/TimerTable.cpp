#include "platform/win/TimerTable.h"

#include "platform/win/WinApplication.h"

#include <QTimer>

#include <algorithm>

namespace
{
// Milliseconds: the shortest period of a repeating timer. A timer of elapse
// 0 falls due as soon as the loop is idle, then repeats at this period, so
// an idle program does not spin at full speed.
constexpr int minimumTimerPeriod = 10;
}

CTimerTable& CTimerTable::Instance()
{
    static CTimerTable* table = new CTimerTable;
    return *table;
}

UINT_PTR CTimerTable::Set(HWND window, UINT_PTR id, UINT elapse)
{
    if (window == nullptr)
        id = nextThreadTimerId++;
    Key key{window, id};
    Entry& entry = timers[key];
    if (!entry.timer)
    {
        entry.timer = std::make_unique<QTimer>();
        QObject::connect(entry.timer.get(), &QTimer::timeout, [this, key] { OnTick(key); });
    }
    // Setting an existing timer again restarts it and forgets a due tick.
    entry.due = false;
    std::erase(dueOrder, key);
    int first = static_cast<int>(std::min<UINT>(elapse, 0x7FFFFFFF));
    entry.timer->setInterval(first);
    entry.timer->start();
    return id;
}

void CTimerTable::OnTick(const Key& key)
{
    auto found = timers.find(key);
    if (found == timers.end())
        return;
    Entry& entry = found->second;
    if (entry.timer->interval() < minimumTimerPeriod)
        entry.timer->setInterval(minimumTimerPeriod);
    if (!entry.due)
    {
        entry.due = true;
        dueOrder.push_back(key);
    }
}

bool CTimerTable::Kill(HWND window, UINT_PTR id)
{
    Key key{window, id};
    auto found = timers.find(key);
    if (found == timers.end())
        return false;
    found->second.timer->stop();
    timers.erase(found);
    std::erase(dueOrder, key);
    return true;
}

void CTimerTable::KillAll(HWND window)
{
    for (auto entry = timers.begin(); entry != timers.end();)
    {
        if (entry->first.first == window)
            entry = timers.erase(entry);
        else
            ++entry;
    }
    std::erase_if(dueOrder, [window](const Key& key) { return key.first == window; });
}

bool CTimerTable::TakeDue(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove)
{
    bool inRange = (filterMin == 0 && filterMax == 0) || (WM_TIMER >= filterMin && WM_TIMER <= filterMax);
    if (!inRange)
        return false;
    for (auto key = dueOrder.begin(); key != dueOrder.end(); ++key)
    {
        if (window != nullptr && key->first != window)
            continue;
        *message = MSG{key->first, WM_TIMER, key->second, 0, GetTickCount(), {0, 0}};
        if (remove)
        {
            timers[*key].due = false;
            dueOrder.erase(key);
        }
        return true;
    }
    return false;
}

bool CTimerTable::IsDue(HWND window, UINT_PTR id) const
{
    auto found = timers.find(Key{window, id});
    return found != timers.end() && found->second.due;
}
