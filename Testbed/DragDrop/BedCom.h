// What the bed's COM objects share: a nothrow factory and interlocked reference counting, the
// object deleted at 0.
#pragma once

#include <windows.h>

#include <new>
#include <utility>

namespace bed {

// A new object, or null when memory runs out (also while its constructor copies what it is given).
template <class Object, class... Arguments> Object* ComNew(Arguments&&... arguments) noexcept
{
    try {
        return new (std::nothrow) Object(std::forward<Arguments>(arguments)...);
    } catch (...) {
        return nullptr;
    }
}

inline ULONG ComAddRef(LONG& count)
{
    return static_cast<ULONG>(InterlockedIncrement(&count));
}

template <class Object> ULONG ComRelease(Object* object, LONG& count)
{
    LONG left = InterlockedDecrement(&count);
    if (left == 0) delete object;
    return static_cast<ULONG>(left);
}

}  // namespace bed
