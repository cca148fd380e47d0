// The contents of one device file, read straight from the device as the target asks.
#include <algorithm>
#include <new>
#include <vector>

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

// A device file whose stream let go of it while a copy thread owned the connection: closed by the
// window's thread once the connection is its own again, if its location is still open.
struct DeferredClose {
    uint64_t opening;
    AFCConnectionRef afc;
    AFCFileRef file;
};

class DeviceFileStream;

// Touched on the window's thread only: other programs' calls arrive there, and the program's own
// streams (Save to's, on its copy thread) are neither handed out nor deferred.
std::vector<DeferredClose> s_deferredCloses;
std::vector<DeviceFileStream*> s_handedOut;

bool StillOpen(uint64_t opening, AFCConnectionRef afc)
{
    return opening == CurrentOpening() && afc == CurrentConnection();
}

class DeviceFileStream final : public ComObject<DeviceFileStream, IStream> {
public:
    DeviceFileStream(uint64_t opening, AFCConnectionRef afc, AFCFileRef file, uint64_t drag, bool handedOut)
        : opening_(opening), afc_(afc), file_(file), drag_(drag), handedOut_(handedOut)
    {
    }

    static const QITAB kInterfaces[];

    // A failed read must never look like the end of the file (S_OK with 0 bytes, or S_FALSE, which
    // a target takes for a short file): it and every later read answer STG_E_READFAULT.
    STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override
    {
        if (read) *read = 0;
        if (!buffer) return STG_E_INVALIDPOINTER;
        if (atEnd_ && !failed_) return S_OK;
        // The connection goes away with its location; a file of a closed one reads nothing, even
        // when a new connection has the same address.
        if (failed_ || !fileOpen_ || !StillOpen(opening_, afc_) || !ConnectionIsThisThreads()) {
            failed_ = true;
            return STG_E_READFAULT;
        }
        AFCByteCount got = count;
        if (g_lib.AFCFileRefRead(afc_, file_, buffer, &got) != 0 || got > count) {
            failed_ = true;
            return STG_E_READFAULT;
        }
        if (read) *read = static_cast<ULONG>(got);
        // Read whole: the device file goes now, so that a target that keeps the stream holds up
        // nothing of the program's.
        if (got == 0 && count > 0) {
            atEnd_ = true;
            CloseFile();
        }
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

    ~DeviceFileStream()
    {
        CloseFile();
        if (handedOut_) s_handedOut.erase(std::remove(s_handedOut.begin(), s_handedOut.end(), this), s_handedOut.end());
    }

    // Given up on: every later read fails, and the device file goes now.
    void End()
    {
        failed_ = true;
        CloseFile();
    }

    // Still holds a device file of the open location.
    bool Holding() const { return fileOpen_ && StillOpen(opening_, afc_); }
    uint64_t Drag() const { return drag_; }

private:
    // A file of a closed connection was closed with it; after the library has gone (a reference
    // released at the very end) there is nothing left to close. While a copy thread owns the
    // connection, the close waits for it.
    void CloseFile()
    {
        if (!fileOpen_) return;
        fileOpen_ = false;
        if (!StillOpen(opening_, afc_) || !g_lib.AFCFileRefClose) return;
        if (ConnectionIsThisThreads()) {
            g_lib.AFCFileRefClose(afc_, file_);
            return;
        }
        try {
            s_deferredCloses.push_back({opening_, afc_, file_});
        } catch (const std::bad_alloc&) {
            // Left open until the location closes, which closes it with the connection.
        }
    }

    bool failed_ = false;
    bool atEnd_ = false;
    bool fileOpen_ = true;
    uint64_t opening_;
    AFCConnectionRef afc_;
    AFCFileRef file_;
    uint64_t drag_;
    bool handedOut_;
};

const QITAB DeviceFileStream::kInterfaces[] = {QITABENT(DeviceFileStream, IStream),
                                               QITABENT(DeviceFileStream, ISequentialStream), {}};

HRESULT OpenStream(uint64_t opening, const char* devicePath, uint64_t drag, bool handedOut, IStream** stream)
{
    *stream = nullptr;
    CloseDeferredDeviceFiles();
    AFCConnectionRef afc = CurrentConnection();
    AFCFileRef file = 0;
    if (!opening || opening != CurrentOpening() || !devicePath || !*devicePath || !ConnectionIsThisThreads()) {
        return E_UNEXPECTED;
    }
    try {
        // Room first: a stream handed out is always one the program can end.
        if (handedOut) s_handedOut.reserve(s_handedOut.size() + 1);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (g_lib.AFCFileRefOpen(afc, devicePath, AFC_MODE_READ_WRITE, &file) != 0) return E_UNEXPECTED;
    auto* opened = new (std::nothrow) DeviceFileStream(opening, afc, file, drag, handedOut);
    if (!opened) {
        g_lib.AFCFileRefClose(afc, file);
        return E_OUTOFMEMORY;
    }
    if (handedOut) s_handedOut.push_back(opened);
    *stream = opened;
    return S_OK;
}

}  // namespace

HRESULT OpenDeviceFileStreamAt(uint64_t opening, const char* devicePath, IStream** stream)
{
    return OpenStream(opening, devicePath, 0, false, stream);
}

HRESULT HandOutDeviceFileStream(uint64_t opening, uint64_t drag, const char* devicePath, IStream** stream)
{
    return OpenStream(opening, devicePath, drag, true, stream);
}

bool HandedOutStreamsHoldFiles()
{
    return std::any_of(s_handedOut.begin(), s_handedOut.end(), [](const DeviceFileStream* s) { return s->Holding(); });
}

bool CloseRefusedForReaders()
{
    if (!HandedOutStreamsHoldFiles()) return false;
    MessageBeep(MB_ICONWARNING);
    return true;
}

void EndHandedOutStreams(uint64_t drag)
{
    std::vector<DeviceFileStream*> ending;
    try {
        for (DeviceFileStream* stream : s_handedOut) {
            if (stream->Drag() == drag) ending.push_back(stream);
        }
    } catch (const std::bad_alloc&) {
        // Ended one by one below as far as memory went; the rest end when released.
    }
    for (DeviceFileStream* stream : ending) stream->AddRef();
    for (DeviceFileStream* stream : ending) {
        stream->End();
        // The proxies other processes hold go now, and with them their references: a target that
        // died is not waited for.
        CoDisconnectObject(static_cast<IStream*>(stream), 0);
        stream->Release();
    }
}

void CloseDeferredDeviceFiles()
{
    // Only the window's thread defers, and only while a copy thread runs: none may run now.
    if (s_deferredCloses.empty() || g_copyThread.load()) return;
    std::vector<DeferredClose> closing;
    closing.swap(s_deferredCloses);
    for (const DeferredClose& deferred : closing) {
        if (StillOpen(deferred.opening, deferred.afc)) g_lib.AFCFileRefClose(deferred.afc, deferred.file);
    }
}
