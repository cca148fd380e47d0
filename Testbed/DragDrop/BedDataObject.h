// The data object of the bed's drag sources. It offers a fixed list of formats, renders them
// through a function of its program, optionally answers the shell's asynchronous-operation
// interface (IAsyncOperation, IDataObjectAsyncCapability in these headers), and logs every call
// made on it, with its HRESULT:
//   query-interface   iid=NAME hr=
//   query-get-data    format=NAME aspect= lindex= tymed=0x hr=
//   get-data          format=NAME aspect= lindex= tymed=0x hr= [medium=0x (the tymed handed out)]
//   get-data-here, set-data, get-canonical-format-etc   format=NAME hr=
//   enum-format-etc   direction= hr=
//   d-advise, d-unadvise, enum-d-advise                hr=
//   set-async-mode    value=0|1 hr=          get-async-mode value=0|1 hr=
//   start-operation   hr=                    in-operation   value=0|1 hr=
//   end-operation     result=0x effect= hr=
//   data-object-freed                        (the last reference is gone)
#pragma once

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <vector>

namespace bed {

struct DataOffer {
    // What the object offers (ptd null); a request matches one when the format and aspect are equal
    // and the tymed bits meet. lindex is left to `render`.
    std::vector<FORMATETC> formats;
    // Fills the medium for a request that matched `offered`; the HRESULT is GetData's.
    std::function<HRESULT(const FORMATETC& request, const FORMATETC& offered, STGMEDIUM* medium)> render;
    bool asyncCapable = false;
    BOOL asyncMode = FALSE;
};

HRESULT CreateBedDataObject(const DataOffer& offer, IDataObject** object);

// A movable global block holding these bytes, or null.
HGLOBAL GlobalCopy(const void* bytes, size_t size);

}  // namespace bed
