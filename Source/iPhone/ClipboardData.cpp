// The program's copy on the clipboard: the virtual files of a drag out, served from a descriptor
// set of its own, so that it lives on beside later drags and copies until it is withdrawn.
#include <memory>
#include <new>

#include "Clipboard.h"
#include "VirtualFiles.h"

namespace {

class ClipboardDataObject final : public VirtualFilesObject<ClipboardDataObject> {
public:
    ClipboardDataObject(DescriptorSet* set, uint64_t opening) : set_(set), opening_(opening) {}

    static const QITAB kInterfaces[];

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (!format || !medium) return E_INVALIDARG;
        ZeroMemory(medium, sizeof(*medium));
        VirtualFormat kind = OfferedFormat(*format);
        if (kind == VirtualFormat::None) return DV_E_FORMATETC;
        // Withdrawn, or its location closed: nothing it names may be read any more.
        if (!IsCurrentClipboardCopy(this) || !opening_ || opening_ != CurrentOpening()) return E_UNEXPECTED;
        return ServeVirtualFiles(kind, *format, {set_->block, set_->devicePaths, set_->count}, opening_, 0, medium);
    }

private:
    std::unique_ptr<DescriptorSet> set_;
    uint64_t opening_;
};

const QITAB ClipboardDataObject::kInterfaces[] = {QITABENT(ClipboardDataObject, IDataObject), {}};

}  // namespace

IDataObject* NewClipboardDataObject(DescriptorSet* set, uint64_t opening)
{
    IDataObject* data = new (std::nothrow) ClipboardDataObject(set, opening);
    if (!data) delete set;
    return data;
}
