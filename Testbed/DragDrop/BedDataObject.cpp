#include "BedDataObject.h"

#include <shldisp.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

#include "BedCom.h"
#include "BedLog.h"
#include "BedNames.h"

namespace bed {

namespace {

void LogFormat(Log& line, const FORMATETC* format)
{
    if (!format) {
        line.Text("format", "(null)");
        return;
    }
    line.Text("format", FormatName(format->cfFormat))
        .Number("aspect", format->dwAspect)
        .Number("lindex", format->lindex)
        .Hex("tymed", format->tymed);
}

struct BedDataObject final : IDataObject, IDataObjectAsyncCapability {
    LONG refCount = 1;
    DataOffer offer;
    BOOL inOperation = FALSE;

    explicit BedDataObject(const DataOffer& given) : offer(given) {}
    ~BedDataObject() { Log("data-object-freed"); }
    BedDataObject(const BedDataObject&) = delete;
    BedDataObject& operator=(const BedDataObject&) = delete;

    const FORMATETC* Match(const FORMATETC* request) const
    {
        if (!request) return nullptr;
        for (const FORMATETC& offered : offer.formats) {
            if (offered.cfFormat == request->cfFormat && offered.dwAspect == request->dwAspect &&
                (offered.tymed & request->tymed)) {
                return &offered;
            }
        }
        return nullptr;
    }

    // --- IUnknown ---
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        static const QITAB table[] = {
            QITABENT(BedDataObject, IDataObject),
            QITABENT(BedDataObject, IDataObjectAsyncCapability),
            {nullptr, 0},
        };
        HRESULT hr = E_NOINTERFACE;
        if (!out) {
            hr = E_POINTER;
        } else if (IsEqualIID(iid, IID_IDataObjectAsyncCapability) && !offer.asyncCapable) {
            *out = nullptr;
        } else {
            hr = QISearch(this, table, iid, out);
        }
        Log("query-interface").Text("iid", InterfaceName(iid)).Hr("hr", hr);
        return hr;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ComAddRef(refCount); }
    STDMETHODIMP_(ULONG) Release() override { return ComRelease(this, refCount); }

    // --- IDataObject ---
    STDMETHODIMP GetData(FORMATETC* request, STGMEDIUM* medium) override
    {
        HRESULT hr = DV_E_FORMATETC;
        if (!medium) {
            hr = E_POINTER;
        } else {
            *medium = STGMEDIUM();
            const FORMATETC* offered = Match(request);
            if (offered) {
                try {
                    hr = offer.render(*request, *offered, medium);
                } catch (...) {
                    hr = E_OUTOFMEMORY;
                }
            }
        }
        Log line("get-data");
        LogFormat(line, request);
        line.Hr("hr", hr);
        if (SUCCEEDED(hr)) line.Hex("medium", medium->tymed);
        return hr;
    }
    STDMETHODIMP GetDataHere(FORMATETC* request, STGMEDIUM*) override
    {
        return Logged("get-data-here", request, DV_E_FORMATETC);
    }
    STDMETHODIMP QueryGetData(FORMATETC* request) override
    {
        return Logged("query-get-data", request, Match(request) ? S_OK : DV_E_FORMATETC);
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* request, FORMATETC* result) override
    {
        if (result) result->ptd = nullptr;
        return Logged("get-canonical-format-etc", request, E_NOTIMPL);
    }
    STDMETHODIMP SetData(FORMATETC* request, STGMEDIUM*, BOOL) override
    {
        return Logged("set-data", request, E_NOTIMPL);
    }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override
    {
        HRESULT hr = E_NOTIMPL;
        if (!out) {
            hr = E_POINTER;
        } else if (direction == DATADIR_GET) {
            hr = SHCreateStdEnumFmtEtc(static_cast<UINT>(offer.formats.size()), offer.formats.data(), out);
        } else {
            *out = nullptr;
        }
        Log("enum-format-etc").Number("direction", direction).Hr("hr", hr);
        return hr;
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return NoAdvise("d-advise"); }
    STDMETHODIMP DUnadvise(DWORD) override { return NoAdvise("d-unadvise"); }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return NoAdvise("enum-d-advise"); }

    // --- IDataObjectAsyncCapability (the shell's IAsyncOperation) ---
    STDMETHODIMP SetAsyncMode(BOOL value) override
    {
        offer.asyncMode = value;
        Log("set-async-mode").Number("value", value ? 1 : 0).Hr("hr", S_OK);
        return S_OK;
    }
    STDMETHODIMP GetAsyncMode(BOOL* value) override
    {
        HRESULT hr = value ? S_OK : E_POINTER;
        if (value) *value = offer.asyncMode;
        Log("get-async-mode").Number("value", offer.asyncMode ? 1 : 0).Hr("hr", hr);
        return hr;
    }
    STDMETHODIMP StartOperation(IBindCtx*) override
    {
        inOperation = TRUE;
        Log("start-operation").Hr("hr", S_OK);
        return S_OK;
    }
    STDMETHODIMP InOperation(BOOL* value) override
    {
        HRESULT hr = value ? S_OK : E_POINTER;
        if (value) *value = inOperation;
        Log("in-operation").Number("value", inOperation ? 1 : 0).Hr("hr", hr);
        return hr;
    }
    STDMETHODIMP EndOperation(HRESULT result, IBindCtx*, DWORD effect) override
    {
        inOperation = FALSE;
        Log("end-operation").Hr("result", result).Number("effect", effect).Hr("hr", S_OK);
        return S_OK;
    }

    HRESULT Logged(const char* event, const FORMATETC* request, HRESULT hr)
    {
        Log line(event);
        LogFormat(line, request);
        line.Hr("hr", hr);
        return hr;
    }
    HRESULT NoAdvise(const char* event)
    {
        Log(event).Hr("hr", OLE_E_ADVISENOTSUPPORTED);
        return OLE_E_ADVISENOTSUPPORTED;
    }
};

}  // namespace

HGLOBAL GlobalCopy(const void* bytes, size_t size)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block) return nullptr;
    void* at = GlobalLock(block);
    if (!at) {
        GlobalFree(block);
        return nullptr;
    }
    memcpy(at, bytes, size);
    GlobalUnlock(block);
    return block;
}

HRESULT CreateBedDataObject(const DataOffer& offer, IDataObject** object)
{
    *object = ComNew<BedDataObject>(offer);
    return *object ? S_OK : E_OUTOFMEMORY;
}

}  // namespace bed
