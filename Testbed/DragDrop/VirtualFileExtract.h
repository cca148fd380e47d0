// How ExplorerTarget.exe takes virtual files out of a data object, as Explorer does: reads the
// descriptors ("FileGroupDescriptorW"), then makes each folder and writes each file's contents
// ("FileContents" with the descriptor's index, read to the end) under one output folder.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace bed {

// Asks for the descriptors and logs them:
//   get-descriptors  hr=0x [count=N]
//   descriptor       index= flags=0x attributes=0x size= (64-bit, decimal) written= (the FD_WRITESTIME
//                    time as a FILETIME count, decimal; 0 without that flag) name=
HRESULT ReadDescriptors(IDataObject* data, std::vector<FILEDESCRIPTORW>* descriptors);

// Makes the folders and files of the descriptors under `outFolder`, in order; a file whose
// descriptor has FD_WRITESTIME gets that last write time, as Explorer gives it:
//   skipped      index= reason= name=     (an unsafe name: nothing is asked for or written)
//   folder       index= name= result=created|exists|failed [error=]
//   get-contents index= hr=0x [medium=0x]
//   file         index= name= bytes= sha256= read-hr=0x result=written|failed|incomplete [error=]
//                [stream=kept]
//                (bytes and sha256 are of what the stream gave; read-hr is the HRESULT of the last
//                Read; a file that failed or is shorter or longer than its FD_FILESIZE size is
//                removed again)
//   extract-end  files= folders= skipped= failed= hr=0x
// The result is S_OK when every item was made, else the first failure's HRESULT (E_FAIL for a
// skipped name). With `keptStream`, the last contents that came as a stream are not released but
// left there (an earlier one there is released), as a target that holds on to a file's stream.
HRESULT ExtractFiles(IDataObject* data, const std::vector<FILEDESCRIPTORW>& descriptors, const std::wstring& outFolder,
                     IStream** keptStream = nullptr);

// Why a descriptor's name may not be written below the output folder, or null when it may:
// "empty", "absolute", "drive", "colon", "dot-element", "empty-element", "invalid-character",
// "trailing-dot-or-space", "device-name".
const char* UnsafeNameReason(const std::wstring& name);

}  // namespace bed
