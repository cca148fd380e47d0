#include "FileDropData.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The shell's layout: DROPFILES, the wide paths each with its zero, one more zero. Unterminated: the
// same head with letters up to the block's very end.
HGLOBAL MakeDropBlock(const std::vector<std::wstring>& paths, bool terminated)
{
    size_t units = 1;
    for (const std::wstring& path : paths) units += path.size() + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
    if (!block) return nullptr;
    auto head = static_cast<DROPFILES*>(GlobalLock(block));
    head->pFiles = sizeof(DROPFILES);
    head->fWide = TRUE;
    auto names = reinterpret_cast<wchar_t*>(head + 1);
    if (terminated) {
        for (const std::wstring& path : paths) names = std::copy(path.c_str(), path.c_str() + path.size() + 1, names);
    } else {
        size_t room = (GlobalSize(block) - sizeof(DROPFILES)) / sizeof(wchar_t);
        std::fill(names, names + room, L'x');
    }
    GlobalUnlock(block);
    return block;
}

HGLOBAL MakeTextBlock(const std::wstring& text)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (!block) return nullptr;
    memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    return block;
}

class FileDropData final : public IDataObject {
public:
    FileDropData(const std::vector<std::wstring>& paths, FileDropKind kind, std::function<void()> whileAsked)
        : paths_(paths), kind_(kind), whileAsked_(std::move(whileAsked))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refCount_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG count = InterlockedDecrement(&refCount_);
        if (count == 0) delete this;
        return count;
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        HRESULT offered = QueryGetData(format);
        if (offered != S_OK) return offered;
        if (whileAsked_) whileAsked_();
        if (kind_ == FileDropKind::GetDataFails) return E_UNEXPECTED;
        medium->tymed = TYMED_HGLOBAL;
        medium->pUnkForRelease = nullptr;
        medium->hGlobal = nullptr;
        if (kind_ == FileDropKind::NoHandle) return S_OK;
        medium->hGlobal = kind_ == FileDropKind::TextOnly ? MakeTextBlock(L"some text")
                                                          : MakeDropBlock(paths_, kind_ != FileDropKind::Unterminated);
        return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override
    {
        if (!format) return E_INVALIDARG;
        CLIPFORMAT offered = kind_ == FileDropKind::TextOnly ? CF_UNICODETEXT : CF_HDROP;
        if (format->cfFormat != offered || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override
    {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    LONG refCount_ = 1;
    std::vector<std::wstring> paths_;
    FileDropKind kind_;
    std::function<void()> whileAsked_;
};

}  // namespace

IDataObject* NewFileDropData(const std::vector<std::wstring>& paths, FileDropKind kind,
                             std::function<void()> whileAsked)
{
    return new (std::nothrow) FileDropData(paths, kind, std::move(whileAsked));
}

ForeignFileDrop::ForeignFileDrop(const std::vector<std::wstring>& paths, FileDropKind kind,
                                 std::function<void()> whileAsked)
{
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    IStream* stream = nullptr;
    owner_ = std::thread([&, paths, kind] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IDataObject* data = NewFileDropData(paths, kind, whileAsked);
        if (data) CoMarshalInterThreadInterfaceInStream(IID_IDataObject, data, &stream);
        SetEvent(ready);
        // The apartment must outlive the proxy: its calls run here, in the multithreaded apartment.
        WaitForSingleObject(stop_, INFINITE);
        if (data) data->Release();
        CoUninitialize();
    });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    if (stream) CoGetInterfaceAndReleaseStream(stream, IID_IDataObject, reinterpret_cast<void**>(&proxy_));
}

ForeignFileDrop::~ForeignFileDrop()
{
    if (proxy_) proxy_->Release();
    SetEvent(stop_);
    owner_.join();
    CloseHandle(stop_);
}
