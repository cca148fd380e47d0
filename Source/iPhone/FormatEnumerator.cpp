// The two formats a drag out offers: the file descriptors, then the contents of each file.
#include <new>

#include "ComObject.h"
#include "DragObjects.h"

namespace {

const ULONG kFormatCount = 2;

FORMATETC FormatAt(ULONG position)
{
    if (position == 0) {
        return FORMATETC{static_cast<CLIPFORMAT>(g_cfFileGroupDescriptorW), nullptr, DVASPECT_CONTENT, -1,
                         TYMED_HGLOBAL};
    }
    return FORMATETC{static_cast<CLIPFORMAT>(g_cfFileContents), nullptr, DVASPECT_CONTENT, 0, TYMED_ISTREAM};
}

class FormatEnumerator final : public ComObject<FormatEnumerator, IEnumFORMATETC> {
public:
    explicit FormatEnumerator(ULONG position) : position_(position) {}

    static const QITAB kInterfaces[];

    STDMETHODIMP Next(ULONG count, FORMATETC* formats, ULONG* fetched) override
    {
        if (count > 0 && !formats) return E_POINTER;
        ULONG handedOut = 0;
        while (position_ < kFormatCount && handedOut < count) formats[handedOut++] = FormatAt(position_++);
        if (fetched) *fetched = handedOut;
        return handedOut == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        // Kept at the end, so that a huge count cannot wrap the position round to the start.
        uint64_t next = static_cast<uint64_t>(position_) + count;
        position_ = next > kFormatCount ? kFormatCount : static_cast<ULONG>(next);
        return next > kFormatCount ? S_FALSE : S_OK;
    }
    STDMETHODIMP Reset() override
    {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumFORMATETC** copy) override
    {
        if (!copy) return E_POINTER;
        *copy = NewFormatEnumerator(position_);
        FATAL_CHECK(*copy != nullptr);
        return S_OK;
    }

private:
    ULONG position_;
};

const QITAB FormatEnumerator::kInterfaces[] = {QITABENT(FormatEnumerator, IEnumFORMATETC), {}};

}  // namespace

IEnumFORMATETC* NewFormatEnumerator(ULONG position)
{
    return new (std::nothrow) FormatEnumerator(position);
}
