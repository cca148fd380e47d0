#include "BedNames.h"

#include <ole2.h>
#include <shlobj.h>
#include <shldisp.h>

namespace bed {

namespace {

struct NamedFormat {
    CLIPFORMAT format;
    const wchar_t* name;
};

const NamedFormat kStandardFormats[] = {
    {CF_TEXT, L"CF_TEXT"},       {CF_BITMAP, L"CF_BITMAP"},     {CF_OEMTEXT, L"CF_OEMTEXT"},
    {CF_DIB, L"CF_DIB"},         {CF_UNICODETEXT, L"CF_UNICODETEXT"}, {CF_HDROP, L"CF_HDROP"},
    {CF_LOCALE, L"CF_LOCALE"},
};

// Interfaces that OLE asks a data object for while it marshals it, besides the data object's own.
const IID kIID_IAgileObject = {0x94ea2b94, 0xe9cc, 0x49e0, {0xc0, 0xff, 0xee, 0x64, 0xca, 0x8f, 0x5b, 0x90}};
const IID kIID_INoMarshal = {0xecc8691b, 0xc1db, 0x4dc0, {0x85, 0x5e, 0x65, 0xf6, 0xc5, 0x51, 0xaf, 0x49}};

struct NamedInterface {
    const IID* iid;
    const wchar_t* name;
};

const NamedInterface kInterfaces[] = {
    {&IID_IUnknown, L"IUnknown"},
    {&IID_IDataObject, L"IDataObject"},
    {&IID_IDataObjectAsyncCapability, L"IAsyncOperation"},
    {&IID_IMarshal, L"IMarshal"},
    {&IID_IStdMarshalInfo, L"IStdMarshalInfo"},
    {&IID_IExternalConnection, L"IExternalConnection"},
    {&IID_IClientSecurity, L"IClientSecurity"},
    {&IID_IRpcOptions, L"IRpcOptions"},
    {&IID_IEnumFORMATETC, L"IEnumFORMATETC"},
    {&IID_IDropSource, L"IDropSource"},
    {&IID_IDropTarget, L"IDropTarget"},
    {&kIID_IAgileObject, L"IAgileObject"},
    {&kIID_INoMarshal, L"INoMarshal"},
};

CLIPFORMAT Registered(const wchar_t* name)
{
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name));
}

}  // namespace

std::wstring FormatName(CLIPFORMAT format)
{
    for (const NamedFormat& named : kStandardFormats) {
        if (named.format == format) return named.name;
    }
    wchar_t name[256] = L"";
    if (GetClipboardFormatNameW(format, name, 256) > 0) return name;
    return L"#" + std::to_wstring(format);
}

std::wstring InterfaceName(REFIID iid)
{
    for (const NamedInterface& named : kInterfaces) {
        if (IsEqualIID(iid, *named.iid)) return named.name;
    }
    wchar_t text[64] = L"";
    StringFromGUID2(iid, text, 64);
    return text;
}

CLIPFORMAT FileGroupDescriptorFormat()
{
    static const CLIPFORMAT format = Registered(CFSTR_FILEDESCRIPTORW);
    return format;
}

CLIPFORMAT FileContentsFormat()
{
    static const CLIPFORMAT format = Registered(CFSTR_FILECONTENTS);
    return format;
}

}  // namespace bed
