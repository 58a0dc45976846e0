#include "uilib/core/StdStringPtrMap.h"

#include <cstddef>

using std::size_t;

CStdStringPtrMap::CStdStringPtrMap(int capacity)
{
    if (capacity > 0) {
        entries.reserve(static_cast<size_t>(capacity));
        positions.reserve(static_cast<size_t>(capacity));
    }
}

CStdStringPtrMap::~CStdStringPtrMap() = default;

int CStdStringPtrMap::PositionOf(const char* key) const
{
    if (key == nullptr) {
        return -1;
    }
    auto found = positions.find(key);
    return found == positions.end() ? -1 : static_cast<int>(found->second);
}

bool CStdStringPtrMap::Insert(const char* key, void* value)
{
    if (key == nullptr || PositionOf(key) >= 0) {
        return false;
    }
    entries.push_back(std::make_unique<Entry>(Entry{key, value}));
    positions.emplace(entries.back()->key, entries.size() - 1);
    return true;
}

void* CStdStringPtrMap::Find(const char* key) const
{
    int position = PositionOf(key);
    return position < 0 ? nullptr : entries[static_cast<size_t>(position)]->value;
}

void* CStdStringPtrMap::Set(const char* key, void* value)
{
    int position = PositionOf(key);
    if (position < 0) {
        Insert(key, value);
        return nullptr;
    }
    Entry& entry = *entries[static_cast<size_t>(position)];
    void* old = entry.value;
    entry.value = value;
    return old;
}

bool CStdStringPtrMap::Remove(const char* key)
{
    int position = PositionOf(key);
    if (position < 0) {
        return false;
    }
    // `key` may be the entry's own text: it is not read again once the
    // entry is gone.
    positions.erase(entries[static_cast<size_t>(position)]->key);
    entries.erase(entries.begin() + position);
    for (size_t later = static_cast<size_t>(position); later < entries.size(); ++later) {
        positions[entries[later]->key] = later;
    }
    return true;
}

void CStdStringPtrMap::RemoveAll()
{
    positions.clear();
    entries.clear();
}

const char* CStdStringPtrMap::GetAt(int position) const
{
    if (position < 0 || position >= GetSize()) {
        return nullptr;
    }
    return entries[static_cast<size_t>(position)]->key.c_str();
}
