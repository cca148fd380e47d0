// What every OLE object of the program shares: one interlocked reference count, 1 at creation, the
// object deleted when Release takes the last; QueryInterface answers the interfaces of the object's
// QISearch table `kInterfaces` (IUnknown as its first entry) and clears the pointer for any other.
#pragma once

#include <windows.h>
#include <shlwapi.h>

template <class Object, class... Interfaces>
class ComObject : public Interfaces... {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        return QISearch(static_cast<Object*>(this), Object::kInterfaces, iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete static_cast<Object*>(this);
        return left;
    }

protected:
    ComObject() = default;
    ~ComObject() = default;

private:
    LONG references_ = 1;
};
