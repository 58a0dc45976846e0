#pragma once

// CStdPtrArray: a growable array of untyped pointers. It never owns what the
// pointers point at. Every index outside the array is refused (false, or a
// null pointer) instead of faulting, because the controls keep indices that
// a callback may have made stale.

#include <vector>

class CStdPtrArray
{
public:
    explicit CStdPtrArray(int initialCapacity = 0);

    void Empty();
    // Grows (with null entries) or shrinks the array to `size` entries.
    void Resize(int size);
    bool IsEmpty() const { return items.empty(); }
    int GetSize() const { return static_cast<int>(items.size()); }

    // Index of the first entry equal to `item`, or -1.
    int Find(const void* item) const;
    bool Add(void* item);
    bool SetAt(int index, void* item);
    // `index` may be GetSize() to append.
    bool InsertAt(int index, void* item);
    bool Remove(int index);

    // The entries as a contiguous block (null when empty); valid until the
    // array changes size.
    void** GetData();
    void* GetAt(int index) const;
    void* operator[](int index) const { return GetAt(index); }

private:
    std::vector<void*> items;
};
