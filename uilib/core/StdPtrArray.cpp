#include "uilib/core/StdPtrArray.h"

#include <cstddef>

using std::size_t;

CStdPtrArray::CStdPtrArray(int initialCapacity)
{
    if (initialCapacity > 0) {
        items.reserve(static_cast<size_t>(initialCapacity));
    }
}

void CStdPtrArray::Empty()
{
    items.clear();
}

void CStdPtrArray::Resize(int size)
{
    items.resize(size > 0 ? static_cast<size_t>(size) : 0, nullptr);
}

int CStdPtrArray::Find(const void* item) const
{
    for (size_t index = 0; index < items.size(); ++index) {
        if (items[index] == item) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

bool CStdPtrArray::Add(void* item)
{
    items.push_back(item);
    return true;
}

bool CStdPtrArray::SetAt(int index, void* item)
{
    if (index < 0 || index >= GetSize()) {
        return false;
    }
    items[static_cast<size_t>(index)] = item;
    return true;
}

bool CStdPtrArray::InsertAt(int index, void* item)
{
    if (index < 0 || index > GetSize()) {
        return false;
    }
    items.insert(items.begin() + index, item);
    return true;
}

bool CStdPtrArray::Remove(int index)
{
    if (index < 0 || index >= GetSize()) {
        return false;
    }
    items.erase(items.begin() + index);
    return true;
}

void** CStdPtrArray::GetData()
{
    return items.empty() ? nullptr : items.data();
}

void* CStdPtrArray::GetAt(int index) const
{
    if (index < 0 || index >= GetSize()) {
        return nullptr;
    }
    return items[static_cast<size_t>(index)];
}
