// The contents of one dragged device file, read straight from the device as the target asks.
#include <new>

#include "ComObject.h"
#include "DragObjects.h"

namespace {

// One thread at a time uses the connection: a copy thread while it runs (the window then waits in
// its copy dialog), else the window's thread. A program that reads a stream of the clipboard's copy
// meanwhile reaches this process on the window's thread and is refused.
bool ConnectionIsThisThreads()
{
    HANDLE copyThread = g_copyThread.load();
    return !copyThread || GetThreadId(copyThread) == GetCurrentThreadId();
}

class DeviceFileStream final : public ComObject<DeviceFileStream, IStream> {
public:
    DeviceFileStream(uint64_t opening, AFCConnectionRef afc, AFCFileRef file)
        : opening_(opening), afc_(afc), file_(file)
    {
    }

    static const QITAB kInterfaces[];

    // A failed read must never look like the end of the file (S_OK with 0 bytes, or S_FALSE, which
    // a target takes for a short file): it and every later read answer STG_E_READFAULT.
    STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override
    {
        if (read) *read = 0;
        if (!buffer) return STG_E_INVALIDPOINTER;
        // The connection goes away with its location; a file of a closed one reads nothing, even
        // when a new connection has the same address.
        if (failed_ || !StillOpen() || !ConnectionIsThisThreads()) {
            failed_ = true;
            return STG_E_READFAULT;
        }
        AFCByteCount got = count;
        if (g_lib.AFCFileRefRead(afc_, file_, buffer, &got) != 0 || got > count) {
            failed_ = true;
            return STG_E_READFAULT;
        }
        if (read) *read = static_cast<ULONG>(got);
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG* written) override
    {
        if (written) *written = 0;
        return STG_E_CANTSAVE;
    }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

    // A file of a closed connection was closed with it; after the library has gone (a reference
    // released at the very end) there is nothing left to close.
    ~DeviceFileStream()
    {
        if (StillOpen() && g_lib.AFCFileRefClose) g_lib.AFCFileRefClose(afc_, file_);
    }

private:
    bool StillOpen() const { return opening_ == CurrentOpening() && afc_ == CurrentConnection(); }

    bool failed_ = false;
    uint64_t opening_;
    AFCConnectionRef afc_;
    AFCFileRef file_;
};

const QITAB DeviceFileStream::kInterfaces[] = {QITABENT(DeviceFileStream, IStream),
                                               QITABENT(DeviceFileStream, ISequentialStream), {}};

}  // namespace

HRESULT OpenDeviceFileStreamAt(uint64_t opening, const char* devicePath, IStream** stream)
{
    *stream = nullptr;
    AFCConnectionRef afc = CurrentConnection();
    AFCFileRef file = 0;
    if (!opening || opening != CurrentOpening() || !devicePath || !*devicePath || !ConnectionIsThisThreads() ||
        g_lib.AFCFileRefOpen(afc, devicePath, AFC_MODE_READ_WRITE, &file) != 0) {
        return E_UNEXPECTED;
    }
    *stream = new (std::nothrow) DeviceFileStream(opening, afc, file);
    if (*stream) return S_OK;
    g_lib.AFCFileRefClose(afc, file);
    return E_OUTOFMEMORY;
}
