// Names the stand-ins write into their logs for clipboard formats and interfaces.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

namespace bed {

// "CF_HDROP", "CF_UNICODETEXT", ..., a registered format's own name ("FileGroupDescriptorW"), or
// "#" and the number.
std::wstring FormatName(CLIPFORMAT format);
// "IUnknown", "IDataObject", "IMarshal", "IAsyncOperation", ..., or the IID in braces.
std::wstring InterfaceName(REFIID iid);

// The formats of virtual files, registered once per process.
CLIPFORMAT FileGroupDescriptorFormat();
CLIPFORMAT FileContentsFormat();

}  // namespace bed
