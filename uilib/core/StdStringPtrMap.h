#pragma once

// CStdStringPtrMap: untyped pointers under string keys. The map copies its
// keys and never owns the values.
//
// Positions follow insertion order: GetAt(0) is the oldest key still in the
// map, and removing a key moves every later key one position down, so the
// positions stay dense (0 .. GetSize()-1). That is what lets a caller empty
// the map by repeating "free the value under GetAt(0), then Remove that key".
// Replacing a value with Set keeps the key's position.
//
// A key pointer from GetAt stays valid until that key is removed (or the map
// is emptied); other insertions and removals do not move it.

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class CStdStringPtrMap
{
public:
    // `capacity`: the number of keys expected; the map grows past it.
    explicit CStdStringPtrMap(int capacity = 0);
    ~CStdStringPtrMap();
    CStdStringPtrMap(const CStdStringPtrMap&) = delete;
    CStdStringPtrMap& operator=(const CStdStringPtrMap&) = delete;

    // Adds `key`; false (and nothing changes) when the key is already there
    // or is null.
    bool Insert(const char* key, void* value);
    // The value under `key`, or null when the key is absent.
    void* Find(const char* key) const;
    // Replaces the value under `key`, adding the key when absent; answers
    // the value it replaced (null when the key was new).
    void* Set(const char* key, void* value);
    // False when the key was absent. `key` may be a pointer from GetAt.
    bool Remove(const char* key);
    void RemoveAll();

    int GetSize() const { return static_cast<int>(entries.size()); }
    bool IsEmpty() const { return entries.empty(); }
    // The key at `position` (insertion order), or null past the end.
    const char* GetAt(int position) const;

private:
    struct Entry
    {
        std::string key;
        void* value;
    };

    // Position of `key` in `entries`, or -1.
    int PositionOf(const char* key) const;

    // Owned entries so that key pointers survive the vector moving them.
    std::vector<std::unique_ptr<Entry>> entries;
    std::unordered_map<std::string, std::size_t> positions;
};
