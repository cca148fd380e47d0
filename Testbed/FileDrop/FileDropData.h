// Data objects that offer dropped file paths, as Explorer's do, for driving the program's drop
// targets without a mouse (test equipment).
//
//   ForeignFileDrop drop({L"C:\\docs\\a.pdf", L"C:\\docs\\Books"});  // made in another apartment
//   DWORD effect = DROPEFFECT_COPY;
//   g_listDropTarget->Drop(drop.Data(), 0, point, &effect);
//
// A ForeignFileDrop's object lives in the multithreaded apartment of a thread of its own and is
// handed to the creating thread through OLE's standard marshalling, so the creating thread holds a
// proxy, which answers IMarshal as the data object of another program does. NewFileDropData makes
// the same object in the calling apartment, as the program's own data objects are: no IMarshal.
#pragma once

#include <ole2.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

enum class FileDropKind {
    Paths,          // CF_HDROP in global memory with the given paths
    TextOnly,       // CF_UNICODETEXT only, no CF_HDROP
    GetDataFails,   // says it offers CF_HDROP, but GetData fails
    NoHandle,       // GetData answers a medium without a global handle
    Unterminated,   // a CF_HDROP block whose name list runs to the block's end without its zeros
};

// A new data object with a reference count of 1; null when memory runs out. `whileAsked`, if set,
// runs inside each GetData before it answers (on the calling thread), as a slow source lets the
// target's thread serve its messages meanwhile.
IDataObject* NewFileDropData(const std::vector<std::wstring>& paths, FileDropKind kind = FileDropKind::Paths,
                             std::function<void()> whileAsked = nullptr);

class ForeignFileDrop {
public:
    explicit ForeignFileDrop(const std::vector<std::wstring>& paths, FileDropKind kind = FileDropKind::Paths,
                             std::function<void()> whileAsked = nullptr);
    ~ForeignFileDrop();
    ForeignFileDrop(const ForeignFileDrop&) = delete;
    ForeignFileDrop& operator=(const ForeignFileDrop&) = delete;

    // The proxy in the creating thread's apartment (null when marshalling failed); owned by this.
    IDataObject* Data() const { return proxy_; }

private:
    IDataObject* proxy_ = nullptr;
    HANDLE stop_ = nullptr;
    std::thread owner_;
};
