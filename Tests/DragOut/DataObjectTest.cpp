// The data object, its format enumerator and its file streams, through their interfaces, as a drop
// target uses them, on a simulated device.
#include <algorithm>
#include <functional>

#include "Clipboard.h"
#include "CopyThread.h"
#include "Devices.h"
#include "DragOut.h"
#include "DragOutSupport.h"
#include "MessageBoxWatch.h"
#include "SaveTo.h"
#include "SimDevice.h"
#include "WindowHarness.h"

namespace {

using DataObjectTest = DragOutTest;

std::vector<OfferedFile> Sorted(std::vector<OfferedFile> files)
{
    std::sort(files.begin(), files.end(), [](const OfferedFile& a, const OfferedFile& b) { return a.name < b.name; });
    return files;
}

// Counts the "Calculating Size..." dialogs this thread creates while it lives.
class CalculatingDialogCount {
public:
    CalculatingDialogCount() { hook_ = SetWindowsHookExW(WH_CBT, Count, nullptr, GetCurrentThreadId()); }
    ~CalculatingDialogCount() { UnhookWindowsHookEx(hook_); }
    int Created() const { return created_; }

private:
    static LRESULT CALLBACK Count(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_CREATEWND) {
            const wchar_t* title = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->lpszName;
            if (!IS_INTRESOURCE(title) && wcscmp(title, L"Calculating Size...") == 0) ++created_;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_;
    static int created_;
};
int CalculatingDialogCount::created_ = 0;

Held<IStream> ContentsStream(IDataObject* data, LONG index)
{
    FORMATETC format = ContentsFormat(index);
    STGMEDIUM medium = {};
    return Held<IStream>(SUCCEEDED(data->GetData(&format, &medium)) ? medium.pstm : nullptr);
}

Held<IDataObjectAsyncCapability> AsyncOf(IDataObject* data)
{
    IDataObjectAsyncCapability* async = nullptr;
    EXPECT_EQ(data->QueryInterface(IID_IDataObjectAsyncCapability, reinterpret_cast<void**>(&async)), S_OK);
    return Held<IDataObjectAsyncCapability>(async);
}

TEST_F(DataObjectTest, DescriptorsOfFilesFoldersAndLocations)
{
    const OfferedFile documents[] = {FolderEntry(L"My Documents"),
                                     FileEntry(L"My Documents\\readme.txt", 11),
                                     FileEntry(L"My Documents\\nosize.txt", 0),
                                     FolderEntry(L"My Documents\\Books"),
                                     FileEntry(L"My Documents\\Books\\Guide.pdf", 1200),
                                     FolderEntry(L"My Documents\\Books\\Old"),
                                     FileEntry(L"My Documents\\Books\\Old\\Notes.txt", 5),
                                     FolderEntry(L"My Documents\\Books\\Empty")};
    // One file, one without "st_size" (size 0) and a folder, in the order they were dragged.
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/readme.txt", L"0/nosize.txt", L"0/Books"});
    std::vector<OfferedFile> files;
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    ASSERT_EQ(files.size(), 7u);
    EXPECT_EQ(files[0], FileEntry(L"readme.txt", 11));
    EXPECT_EQ(files[1], FileEntry(L"nosize.txt", 0));
    EXPECT_EQ(files[2], FolderEntry(L"Books"));
    const OfferedFile books[] = {FolderEntry(L"Books"), FileEntry(L"Books\\Guide.pdf", 1200), FolderEntry(L"Books\\Old"),
                                 FileEntry(L"Books\\Old\\Notes.txt", 5), FolderEntry(L"Books\\Empty")};
    EXPECT_EQ(Sorted(std::vector<OfferedFile>(files.begin() + 2, files.end())),
              Sorted(std::vector<OfferedFile>(std::begin(books), std::end(books))));
    EXPECT_TRUE(DepthFirst(files)) << testing::PrintToString(Names(files));
    EndDragOut();

    // The two locations, as the list at the root offers them (and the tree "My Documents"), under
    // their own names whatever their device folders are called.
    data = StartDrag(L"/", {L"2", L"0"});
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    ASSERT_EQ(files.size(), 2 + std::size(documents));
    EXPECT_EQ(files[0], FolderEntry(L"Downloads"));
    EXPECT_EQ(files[1], FileEntry(L"Downloads\\Downloaded.pdf", 10));
    EXPECT_EQ(files[2], FolderEntry(L"My Documents"));
    EXPECT_EQ(Sorted(std::vector<OfferedFile>(files.begin() + 2, files.end())),
              Sorted(std::vector<OfferedFile>(std::begin(documents), std::end(documents))));
    EXPECT_TRUE(DepthFirst(files)) << testing::PrintToString(Names(files));
}

// Each item carries its device date, to the tick, so that the target gives its copy that date; an
// item whose date the device does not give, or gives as no date, carries none.
TEST_F(DataObjectTest, DescriptorsCarryTheDevicesDatesWhenKnown)
{
    const uint64_t readme = SimFileTime(2019, 3, 4, 17, 6, 59) + 1234567;
    const uint64_t notes = SimFileTime(1969, 7, 20, 20, 17, 40);
    const uint64_t books = SimFileTime(1999, 12, 31, 23, 59, 59);
    ASSERT_TRUE(SimSetWriteTime(Documents(L"readme.txt"), readme));
    ASSERT_TRUE(SimSetWriteTime(Documents(L"Books\\Old\\Notes.txt"), notes));
    ASSERT_TRUE(SimSetWriteTime(Documents(L"Books"), books));
    ASSERT_TRUE(LoadDevices(config_ + "  mtime none /Documents/Books/Guide.pdf\n"
                                      "  mtime 12:30 /Documents/Books/Old\n"));
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/readme.txt", L"0/Books"});
    std::vector<OfferedFile> files;
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    std::vector<std::pair<std::wstring, uint64_t>> dates;
    for (const OfferedFile& file : files) dates.emplace_back(file.name, file.written);
    std::sort(dates.begin(), dates.end());
    const std::vector<std::pair<std::wstring, uint64_t>> expected = {
        {L"Books", books},
        {L"Books\\Empty", SimWriteTime(Documents(L"Books\\Empty"))},
        {L"Books\\Guide.pdf", 0},
        {L"Books\\Old", 0},
        {L"Books\\Old\\Notes.txt", notes},
        {L"readme.txt", readme},
    };
    EXPECT_EQ(dates, expected);
    for (const OfferedFile& file : files) {
        EXPECT_EQ((file.flags & FD_WRITESTIME) != 0, file.written != 0) << testing::PrintToString(file.name);
    }
}

// A link is copied as what it points to, unless that holds the link: a link to the dragged folder's
// parent is left out, and named once the drag out is over, not while the target asks.
TEST_F(DataObjectTest, ALinkThatLeadsBackIsLeftOutAndNamedAfterTheDrag)
{
    ASSERT_TRUE(LoadDevices(config_ + "  link /Documents/Books/Up -> /Documents\n"
                                      "  link /Documents/Books/Readme -> /Documents/readme.txt\n"));
    MessageBoxWatch note(L"TovarelUSB", 1, nullptr, {window_});
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/Books"});
    std::vector<OfferedFile> files;
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    const OfferedFile books[] = {FolderEntry(L"Books"),     FileEntry(L"Books\\Guide.pdf", 1200),
                                 FolderEntry(L"Books\\Old"), FileEntry(L"Books\\Old\\Notes.txt", 5),
                                 FolderEntry(L"Books\\Empty"), FileEntry(L"Books\\Readme", 11)};
    EXPECT_EQ(Sorted(files), Sorted(std::vector<OfferedFile>(std::begin(books), std::end(books))));
    auto readme = std::find(files.begin(), files.end(), FileEntry(L"Books\\Readme", 11));
    std::string bytes;
    ASSERT_NE(readme, files.end());
    EXPECT_EQ(ReadContents(data.get(), static_cast<LONG>(readme - files.begin()), bytes), S_OK);
    EXPECT_EQ(bytes, "hello world");
    EXPECT_TRUE(note.NoneWithin(200));
    EndDragOut();
    ASSERT_TRUE(note.Wait(5000));
    EXPECT_NE(note.Text().find(L"\nBooks\\Up"), std::wstring::npos) << Utf8Text(note.Text());

    // Copy and Save to walk as a drag does, and each names what it left out once it is over.
    DragItems booksItem;
    booksItem.push_back({OwnedWide(DupString(L"/Documents/Books")), OwnedWide()});
    MessageBoxWatch copied(L"TovarelUSB", 1, nullptr, {window_});
    CopyItemsToClipboard(booksItem);
    ASSERT_TRUE(copied.Wait(5000)) << "Copy left a link out unsaid";
    EXPECT_NE(copied.Text().find(L"\nBooks\\Up"), std::wstring::npos) << Utf8Text(copied.Text());
    WithdrawClipboardCopy();
    const std::wstring saved = SimMakeTempFolder(L"tovarel-save");
    MessageBoxWatch savedNote(L"TovarelUSB", 1, nullptr, {window_});
    SaveItemsTo(booksItem, saved.c_str());
    ASSERT_TRUE(savedNote.Wait(10000)) << "Save to left a link out unsaid";
    EXPECT_NE(savedNote.Text().find(L"\nBooks\\Up"), std::wstring::npos) << Utf8Text(savedNote.Text());
    EXPECT_EQ(GetFileAttributesW((saved + L"\\Books\\Up").c_str()), INVALID_FILE_ATTRIBUTES);
    SimRemoveTree(saved);

    // Told once: a later drag that leaves nothing out says nothing.
    MessageBoxWatch stale(L"TovarelUSB", 1, nullptr, {window_});
    data = StartDrag(L"/Documents", {L"0/readme.txt"});
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    EndDragOut();
    EXPECT_TRUE(stale.NoneWithin(500)) << Utf8Text(stale.Text());
}

TEST_F(DataObjectTest, DescriptorsGrowInStepsOf16KeepingEveryEarlierOne)
{
    struct Case {
        int files;
        uint32_t capacity;
    };
    for (const Case& c : {Case{15, 16}, Case{16, 32}, Case{40, 48}}) {
        SCOPED_TRACE(c.files);
        std::wstring folder = L"Many" + std::to_wstring(c.files);
        for (int i = 1; i <= c.files; ++i) SimWriteFile(Documents(folder + L"\\f" + std::to_wstring(i)), std::string(i, 'x'));
        Held<IDataObject> data = StartDrag(L"/Documents", {(L"0/" + folder).c_str()});
        std::vector<OfferedFile> files;
        ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
        ASSERT_EQ(files.size(), static_cast<size_t>(c.files + 1));
        EXPECT_EQ(g_dragCapacity, c.capacity);
        EXPECT_EQ(files[0], FolderEntry(folder.c_str()));
        for (size_t i = 1; i < files.size(); ++i) {
            std::wstring number = files[i].name.substr(folder.size() + 2);
            EXPECT_EQ(files[i], FileEntry(files[i].name.c_str(), std::stoul(number)));
        }
        EndDragOut();
    }
}

// A relative path of 259 characters is taken; 260, a failing device or a memory failure end the drag
// out: the request answers E_OUTOFMEMORY, every later one E_UNEXPECTED, and nothing stays open. A
// path too long is named in a warning.
TEST_F(DataObjectTest, AFailedBuildEndsTheDragOut)
{
    std::wstring longFolder(200, L'a');
    std::wstring name(53, L'b');
    SimWriteFile(Documents(L"Deep\\" + longFolder + L"\\" + name), "x");   // 4 + 1 + 200 + 1 + 53 = 259
    SimWriteFile(Documents(L"Deep2\\" + longFolder + L"\\" + name), "x");  // 260
    Held<IDataObject> accepted = StartDrag(L"/Documents", {L"0/Deep"});
    std::vector<OfferedFile> files;
    ASSERT_EQ(GetDescriptors(accepted.get(), files), S_OK);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[2].name.size(), 259u);
    EndDragOut();

    struct Case {
        const char* what;
        const wchar_t* path;
        const char* failingCall;
    };
    const Case cases[] = {
        {"260 characters", L"0/Deep2", nullptr},
        {"a folder that cannot be read", L"0/Books", "AFCDirectoryRead"},
        {"file information that cannot be read", L"0/readme.txt", "AFCKeyValueRead"},
        {"a file that is gone", L"0/readme.txt", "AFCFileInfoOpen"},
    };
    unsigned handles = SimOpenHandles();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Held<IDataObject> data = StartDrag(L"/Documents", {c.path});
        // As Explorer asks: the operation starts, then the descriptors are asked for inside the drop.
        EXPECT_EQ(AsyncOf(data.get())->StartOperation(nullptr), S_OK);
        if (c.failingCall) SimFailCall(c.failingCall, 1);
        MessageBoxWatch warning(L"TovarelUSB", 1, nullptr, {window_});
        EXPECT_EQ(GetDescriptors(data.get(), files), E_OUTOFMEMORY);
        // No box inside the target's call: its loop would open the busy dialog there, which waits
        // for that very call to end. The warning comes after it, once; no busy dialog at all.
        EXPECT_EQ(warning.Seen(), 0u);
        if (c.failingCall) SimFailCall(c.failingCall, 0);
        EXPECT_EQ(BusyDialogsWhilePumping(nullptr), 0);
        EXPECT_EQ(warning.Seen(), c.failingCall ? 0u : 1u);
        EXPECT_EQ(g_dragSourceFolder, nullptr);
        EXPECT_EQ(g_dragDescriptors, nullptr);
        EXPECT_EQ(g_dragCount, 0u);
        EXPECT_EQ(GetDescriptors(data.get(), files), E_UNEXPECTED);
        EXPECT_EQ(FindWindowW(nullptr, L"Calculating Size..."), nullptr);
        EXPECT_EQ(SimOpenHandles(), handles);
    }
}

// A data object serves only its own drag out and the opening of the location it was made for (another
// device's may be open by then); a stream it gave out reads no more once that location has closed.
TEST_F(DataObjectTest, AnObjectAnswersOnlyForItsOwnDragAndLocation)
{
    std::vector<OfferedFile> files;
    std::string bytes;
    Held<IDataObject> first = StartDrag(L"/Documents", {L"0/Books"});
    Held<IDataObjectAsyncCapability> firstAsync = AsyncOf(first.get());
    EXPECT_EQ(firstAsync->StartOperation(nullptr), S_OK);
    EndDragOut();
    Held<IDataObject> second = StartDrag(L"/Documents", {L"0/readme.txt"});
    EXPECT_EQ(GetDescriptors(first.get(), files), E_UNEXPECTED);
    EXPECT_EQ(firstAsync->EndOperation(S_OK, nullptr, DROPEFFECT_COPY), S_OK);
    ASSERT_NE(g_dragSourceFolder, nullptr) << "an earlier drag's end ended the open one";

    ASSERT_EQ(GetDescriptors(second.get(), files), S_OK);
    FORMATETC format = ContentsFormat(0);
    STGMEDIUM medium = {};
    ASSERT_EQ(second->GetData(&format, &medium), S_OK);
    Held<IStream> stream(medium.pstm);
    OpenLocation(EDITION_NONE);
    OpenLocation(EDITION_IPHONE);
    ASSERT_TRUE(LocationOpen());
    char buffer[16];
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, nullptr), STG_E_READFAULT);
    EXPECT_EQ(ReadContents(second.get(), 0, bytes), E_UNEXPECTED);
    // Its file went with the old connection: nothing of the new one is closed for it.
    unsigned handles = SimOpenHandles();
    stream.reset();
    EXPECT_EQ(SimOpenHandles(), handles);
}

TEST_F(DataObjectTest, ASecondRequestCopiesTheSameListWithoutTheDialog)
{
    CalculatingDialogCount dialogs;
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/Books", L"0/readme.txt"});
    std::vector<OfferedFile> first;
    std::vector<OfferedFile> second;
    std::string firstBytes;
    std::string secondBytes;
    SimResetCounters();
    ASSERT_EQ(GetDescriptors(data.get(), first, &firstBytes), S_OK);
    unsigned calls = SimCallCount(nullptr);
    ASSERT_EQ(GetDescriptors(data.get(), second, &secondBytes), S_OK);
    EXPECT_EQ(dialogs.Created(), 1);
    EXPECT_EQ(SimCallCount(nullptr), calls);
    EXPECT_EQ(firstBytes, secondBytes);
    EXPECT_EQ(first.size(), 6u);
    EXPECT_EQ(FindWindowW(nullptr, L"Calculating Size..."), nullptr);
}

// Names a device allows but Windows cannot store arrive as single storable names, and every file's
// contents still come from the right device file.
TEST_F(DataObjectTest, HostileNamesBecomeStorableNamesOfTheRightFiles)
{
    struct Case {
        const wchar_t* onDisk;  // the simulated library's escape form
        const wchar_t* offered;
    };
    const Case cases[] = {
        {L"..%5C..%5Cx", L".._.._x"}, {L"a%3Ab", L"a_b"},       {L"con", L"_con"},         {L"nul.txt", L"_nul.txt"},
        {L"COM1", L"_COM1"},          {L"name. ", L"name__"},   {L"tab%09name", L"tab_name"}, {L"%3F", L"_"},
        {L"%FFbad", L"\uFFFDbad"},    {L"plain.txt", L"plain.txt"},
    };
    for (const Case& c : cases) SimWriteFile(Documents(std::wstring(L"Hostile\\") + c.onDisk), Utf8Text(c.offered));
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/Hostile"});
    std::vector<OfferedFile> files;
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    ASSERT_EQ(files.size(), std::size(cases) + 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.offered)));
        std::wstring name = std::wstring(L"Hostile\\") + c.offered;
        auto found = std::find_if(files.begin(), files.end(), [&](const OfferedFile& f) { return f.name == name; });
        ASSERT_NE(found, files.end());
        std::string bytes;
        EXPECT_EQ(ReadContents(data.get(), static_cast<LONG>(found - files.begin()), bytes), S_OK);
        EXPECT_EQ(bytes, Utf8Text(c.offered));
    }
    EndDragOut();
    // A dragged item itself, not only what is below a folder.
    data = StartDrag(L"/Documents/Hostile", {L"0/Hostile/a:b"});
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    EXPECT_EQ(Names(files), std::vector<std::wstring>{L"a_b"});
}

TEST_F(DataObjectTest, OnlyTheTwoFormatsInTheirAspectAndMedium)
{
    struct Case {
        FORMATETC format;
        HRESULT answer;
    };
    const Case cases[] = {
        {DescriptorFormat(), S_OK},
        {DescriptorFormat(DVASPECT_CONTENT, TYMED_HGLOBAL | TYMED_ISTREAM), S_OK},
        {ContentsFormat(0), S_OK},
        {ContentsFormat(0, DVASPECT_CONTENT, TYMED_ISTREAM | TYMED_HGLOBAL), S_OK},
        {DescriptorFormat(DVASPECT_ICON), DV_E_FORMATETC},
        {DescriptorFormat(DVASPECT_THUMBNAIL), DV_E_FORMATETC},
        {DescriptorFormat(DVASPECT_CONTENT, TYMED_ISTREAM), DV_E_FORMATETC},
        {ContentsFormat(0, DVASPECT_DOCPRINT), DV_E_FORMATETC},
        {ContentsFormat(0, DVASPECT_CONTENT, TYMED_HGLOBAL), DV_E_FORMATETC},
        {ContentsFormat(0, DVASPECT_CONTENT, TYMED_FILE), DV_E_FORMATETC},
        {FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_FORMATETC},
    };
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/readme.txt"});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.format.cfFormat << " aspect " << c.format.dwAspect << " tymed "
                                        << c.format.tymed);
        FORMATETC format = c.format;
        EXPECT_EQ(data->QueryGetData(&format), c.answer);
        STGMEDIUM medium = {};
        EXPECT_EQ(data->GetData(&format, &medium), c.answer);
        ReleaseStgMedium(&medium);
        EXPECT_EQ(data->GetDataHere(&format, &medium), DV_E_FORMATETC);
    }
    // With no drag out open, every request is unexpected; asking stays possible.
    EndDragOut();
    for (const Case& c : cases) {
        FORMATETC format = c.format;
        STGMEDIUM medium = {};
        EXPECT_EQ(data->GetData(&format, &medium), E_UNEXPECTED);
        EXPECT_EQ(data->QueryGetData(&format), c.answer);
    }
}

TEST_F(DataObjectTest, TheOtherOperationsOfTheDataObject)
{
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/readme.txt"});
    IUnknown* unknown = nullptr;
    ASSERT_EQ(data->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(data.get()));
    IDataObjectAsyncCapability* async = nullptr;
    ASSERT_EQ(data->QueryInterface(IID_IDataObjectAsyncCapability, reinterpret_cast<void**>(&async)), S_OK);
    IDataObject* back = nullptr;
    ASSERT_EQ(async->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, data.get());
    // References: three held here, and AddRef and Release answer the count.
    EXPECT_EQ(data->AddRef(), 5u);
    EXPECT_EQ(async->Release(), 4u);
    back->Release();
    unknown->Release();
    EXPECT_EQ(data->AddRef(), 3u);
    data->Release();
    async->Release();
    for (const IID& iid : {IID_IMarshal, IID_IStream, IID_IEnumFORMATETC, IID_IDropSource}) {
        void* object = &unknown;
        EXPECT_EQ(data->QueryInterface(iid, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }

    FORMATETC format = DescriptorFormat();
    FORMATETC canonical = format;
    canonical.ptd = reinterpret_cast<DVTARGETDEVICE*>(&format);
    EXPECT_EQ(data->GetCanonicalFormatEtc(&format, &canonical), E_NOTIMPL);
    EXPECT_EQ(canonical.ptd, nullptr);
    STGMEDIUM medium = {};
    EXPECT_EQ(data->SetData(&format, &medium, FALSE), E_NOTIMPL);
    DWORD connection = 0;
    IEnumSTATDATA* advises = nullptr;
    EXPECT_EQ(data->DAdvise(&format, 0, nullptr, &connection), OLE_E_ADVISENOTSUPPORTED);
    EXPECT_EQ(data->DUnadvise(1), OLE_E_ADVISENOTSUPPORTED);
    EXPECT_EQ(data->EnumDAdvise(&advises), OLE_E_ADVISENOTSUPPORTED);
    IEnumFORMATETC* formats = nullptr;
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, &formats), E_NOTIMPL);
    EXPECT_EQ(formats, nullptr);
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    ASSERT_NE(formats, nullptr);
    EXPECT_EQ(formats->Release(), 0u);
}

TEST_F(DataObjectTest, FormatEnumeratorHandsOutBothFormatsOnce)
{
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/readme.txt"});
    IEnumFORMATETC* raw = nullptr;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &raw), S_OK);
    Held<IEnumFORMATETC> formats(raw);
    auto expectFormat = [](const FORMATETC& got, const FORMATETC& want) {
        EXPECT_EQ(got.cfFormat, want.cfFormat);
        EXPECT_EQ(got.ptd, nullptr);
        EXPECT_EQ(got.dwAspect, want.dwAspect);
        EXPECT_EQ(got.lindex, want.lindex);
        EXPECT_EQ(got.tymed, want.tymed);
    };
    FORMATETC got[3] = {};
    ULONG fetched = 99;
    EXPECT_EQ(formats->Next(3, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    expectFormat(got[0], DescriptorFormat());
    expectFormat(got[1], ContentsFormat(0));
    EXPECT_EQ(formats->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(formats->Reset(), S_OK);
    EXPECT_EQ(formats->Next(1, got, nullptr), S_OK);
    expectFormat(got[0], DescriptorFormat());
    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(formats->Clone(&clone), S_OK);
    EXPECT_EQ(formats->Next(1, got, &fetched), S_OK);  // the clone keeps its own position
    EXPECT_EQ(clone->Next(2, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    expectFormat(got[0], ContentsFormat(0));
    clone->Release();

    struct SkipCase {
        ULONG from;
        ULONG count;
        HRESULT answer;
        ULONG nextFetched;  // formats one Next(2) then hands out
    };
    const SkipCase skips[] = {{0, 0, S_OK, 2}, {0, 1, S_OK, 1}, {0, 2, S_OK, 0}, {1, 1, S_OK, 0},
                              {0, 3, S_FALSE, 0}, {1, 0xFFFFFFFF, S_FALSE, 0}};
    for (const SkipCase& s : skips) {
        SCOPED_TRACE(testing::Message() << s.from << " + " << s.count);
        formats->Reset();
        formats->Skip(s.from);
        EXPECT_EQ(formats->Skip(s.count), s.answer);
        formats->Next(2, got, &fetched);
        EXPECT_EQ(fetched, s.nextFetched);
    }
    void* object = nullptr;
    EXPECT_EQ(formats->QueryInterface(IID_IUnknown, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    EXPECT_EQ(formats->QueryInterface(IID_IEnumFORMATETC, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    EXPECT_EQ(formats->QueryInterface(IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(DataObjectTest, FileStreamsReadTheDeviceFileToItsEnd)
{
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/Books", L"0/readme.txt"});
    std::vector<OfferedFile> files;
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    ASSERT_EQ(files.size(), 6u);
    EXPECT_EQ(files.back().name, L"readme.txt");
    auto guide = std::find_if(files.begin(), files.end(), [](const OfferedFile& f) { return f.name == L"Books\\Guide.pdf"; });
    LONG guideIndex = static_cast<LONG>(guide - files.begin());

    // In pieces smaller than the file, then a final read with S_OK and 0 bytes.
    FORMATETC format = ContentsFormat(guideIndex);
    STGMEDIUM medium = {};
    ASSERT_EQ(data->GetData(&format, &medium), S_OK);
    EXPECT_EQ(medium.pUnkForRelease, nullptr);
    Held<IStream> stream(medium.pstm);
    HRESULT last = E_FAIL;
    EXPECT_EQ(ReadToEnd(stream.get(), 500, &last), std::string(1200, 'g'));
    EXPECT_EQ(last, S_OK);
    std::string bytes;
    EXPECT_EQ(ReadContents(data.get(), 5, bytes), S_OK);
    EXPECT_EQ(bytes, "hello world");

    // A folder's index, indexes outside the list: E_UNEXPECTED, no stream.
    for (LONG index : {0L, 6L, 1000L, -1L}) {
        SCOPED_TRACE(index);
        format = ContentsFormat(index);
        medium = STGMEDIUM{};
        EXPECT_EQ(data->GetData(&format, &medium), E_UNEXPECTED);
        EXPECT_EQ(medium.pstm, nullptr);
    }

    // The other operations of a stream.
    char buffer[16];
    ULONG count = 7;
    EXPECT_EQ(stream->Read(nullptr, 4, &count), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, nullptr), S_OK);  // the count is optional
    EXPECT_EQ(stream->Write("x", 1, &count), STG_E_CANTSAVE);
    EXPECT_EQ(count, 0u);
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER size = {};
    STATSTG stat = {};
    IStream* copy = nullptr;
    const std::function<HRESULT()> unsupported[] = {
        [&] { return stream->Seek(zero, STREAM_SEEK_SET, nullptr); },
        [&] { return stream->SetSize(size); },
        [&] { return stream->CopyTo(nullptr, size, nullptr, nullptr); },
        [&] { return stream->Commit(STGC_DEFAULT); },
        [&] { return stream->Revert(); },
        [&] { return stream->LockRegion(size, size, LOCK_WRITE); },
        [&] { return stream->UnlockRegion(size, size, LOCK_WRITE); },
        [&] { return stream->Stat(&stat, STATFLAG_NONAME); },
        [&] { return stream->Clone(&copy); },
    };
    for (const auto& operation : unsupported) EXPECT_EQ(operation(), E_NOTIMPL);
    void* object = nullptr;
    for (const IID& iid : {IID_IUnknown, IID_IStream, IID_ISequentialStream}) {
        ASSERT_EQ(stream->QueryInterface(iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<IUnknown*>(stream.get()));
        static_cast<IUnknown*>(object)->Release();
    }
    EXPECT_EQ(stream->QueryInterface(IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    unsigned handles = SimOpenHandles();
    stream.reset();
    EXPECT_EQ(SimOpenHandles(), handles);  // its device file went at the end of the file

    // A stream kept after its drag out is over still reads a device file: a transfer running until
    // it is read to its end or released, which closes that file.
    Held<IStream> unread = ContentsStream(data.get(), guideIndex);
    ASSERT_NE(unread, nullptr);
    EndDragOut();
    EXPECT_FALSE(TransferIdle());
    handles = SimOpenHandles();
    unread.reset();
    EXPECT_EQ(SimOpenHandles(), handles - 1);
    EXPECT_TRUE(TransferIdle());
}

// A read error in the middle of a file must not look like its end.
TEST_F(DataObjectTest, AReadFailureMidFileIsAFaultOnEveryLaterRead)
{
    SimWriteFile(Documents(L"big.bin"), std::string(100000, 'b'));
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/big.bin"});
    std::vector<OfferedFile> files;
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    FORMATETC format = ContentsFormat(0);
    STGMEDIUM medium = {};
    ASSERT_EQ(data->GetData(&format, &medium), S_OK);
    Held<IStream> stream(medium.pstm);
    char buffer[4096];
    ULONG count = 0;
    ASSERT_EQ(stream->Read(buffer, sizeof buffer, &count), S_OK);
    EXPECT_EQ(count, sizeof buffer);
    SimFailCall("AFCFileRefRead", 1);
    for (int attempt = 0; attempt < 3; ++attempt) {  // the failing read, then reads the device would serve
        count = 99;
        EXPECT_EQ(stream->Read(buffer, sizeof buffer, &count), STG_E_READFAULT);
        EXPECT_EQ(count, 0u);
    }
    // Another file of the same drag is not affected.
    std::string bytes;
    EXPECT_EQ(ReadContents(data.get(), 0, bytes), S_OK);
    EXPECT_EQ(bytes.size(), 100000u);
}

// The shell's asynchronous extraction: the busy dialog from StartOperation to EndOperation.
TEST_F(DataObjectTest, AsynchronousOperationAndTheBusyDialog)
{
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/readme.txt"});
    Held<IDataObjectAsyncCapability> async = AsyncOf(data.get());
    BOOL value = 7;
    EXPECT_EQ(async->GetAsyncMode(&value), S_OK);
    EXPECT_EQ(value, FALSE);
    EXPECT_EQ(async->SetAsyncMode(VARIANT_TRUE), S_OK);
    EXPECT_EQ(async->GetAsyncMode(&value), S_OK);
    EXPECT_EQ(value, VARIANT_TRUE);
    EXPECT_EQ(async->GetAsyncMode(nullptr), STG_E_INVALIDPOINTER);
    EXPECT_EQ(async->InOperation(nullptr), STG_E_INVALIDPOINTER);
    EXPECT_EQ(async->InOperation(&value), S_OK);
    EXPECT_EQ(value, FALSE);
    // An end without a start is not this object's operation: the drag out stays open.
    EXPECT_EQ(async->EndOperation(S_OK, nullptr, DROPEFFECT_COPY), S_OK);
    EXPECT_NE(g_dragSourceFolder, nullptr);

    // The dialog opens once the start has returned, and the end closes it and ends the drag out.
    EXPECT_EQ(async->StartOperation(nullptr), S_OK);
    EXPECT_EQ(async->InOperation(&value), S_OK);
    EXPECT_EQ(value, VARIANT_TRUE);
    EXPECT_EQ(BusyDialogsWhilePumping(async.get()), 1);
    EXPECT_EQ(g_copyBusyDialog.load(), nullptr);
    EXPECT_EQ(async->InOperation(&value), S_OK);
    EXPECT_EQ(value, FALSE);
    EXPECT_EQ(g_dragSourceFolder, nullptr);
    std::vector<OfferedFile> files;
    EXPECT_EQ(GetDescriptors(data.get(), files), E_UNEXPECTED);

    // An end that comes before the posted request is handled: no dialog opens at all.
    data = StartDrag(L"/Documents", {L"0/readme.txt"});
    async = AsyncOf(data.get());
    EXPECT_EQ(async->StartOperation(nullptr), S_OK);
    EXPECT_EQ(GetDescriptors(data.get(), files), S_OK);
    EXPECT_EQ(async->EndOperation(S_OK, nullptr, DROPEFFECT_COPY), S_OK);
    EXPECT_EQ(BusyDialogsWhilePumping(nullptr), 0);
    EXPECT_EQ(g_dragSourceFolder, nullptr);

    // A target that never ends its operation: Cancel in the busy dialog gives up on it, and what
    // it asks afterwards is refused.
    data = StartDrag(L"/Documents", {L"0/readme.txt"});
    async = AsyncOf(data.get());
    EXPECT_EQ(async->StartOperation(nullptr), S_OK);
    KeepExtractingData(data.get());
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    Held<IStream> reading = ContentsStream(data.get(), 0);
    ASSERT_NE(reading, nullptr);
    char piece[4];
    ULONG got = 0;
    EXPECT_EQ(reading->Read(piece, sizeof piece, &got), S_OK);
    unsigned handles = SimOpenHandles();
    EXPECT_EQ(BusyDialogsWhilePumping(nullptr, true), 1);
    EXPECT_EQ(g_dragSourceFolder, nullptr);
    EXPECT_EQ(GetDescriptors(data.get(), files), E_UNEXPECTED);
    // The streams it handed out end with it: their device files close now, not when a target that
    // may have died lets go, and what they are asked afterwards fails.
    EXPECT_EQ(SimOpenHandles(), handles - 1);
    EXPECT_EQ(reading->Read(piece, sizeof piece, &got), STG_E_READFAULT);
    EXPECT_TRUE(TransferIdle());
    reading.reset();
    EXPECT_EQ(SimOpenHandles(), handles - 1);

    // A target that lets go without ending its operation ends it all the same.
    data = StartDrag(L"/Documents", {L"0/readme.txt"});
    async = AsyncOf(data.get());
    EXPECT_EQ(async->StartOperation(nullptr), S_OK);
    async.reset();
    data.reset();
    EXPECT_EQ(g_dragSourceFolder, nullptr);
    EXPECT_EQ(BusyDialogsWhilePumping(nullptr), 0);
}

// A copy thread of the test's own: reads a device file on the connection, the way an upload or Save
// to does.
DWORD WINAPI ReadAsTheCopyThread(void*)
{
    AFCConnectionRef afc = CurrentConnection();
    AFCFileRef file = 0;
    char bytes[8];
    AFCByteCount got = sizeof bytes;
    if (g_lib.AFCFileRefOpen(afc, "/Documents/Books/Guide.pdf", 1, &file) != 0) return 1;
    g_lib.AFCFileRefRead(afc, file, bytes, &got);
    g_lib.AFCFileRefClose(afc, file);
    return 0;
}

// A stream let go of while a copy thread owns the connection (another program releases it during an
// upload): its device file is closed by the window's thread once the copy is over, never while the
// copy thread is inside a call on that connection.
TEST_F(DataObjectTest, AStreamReleasedDuringACopyClosesItsFileAfterIt)
{
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/readme.txt", L"0/Books/Guide.pdf"});
    std::vector<OfferedFile> files;
    ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
    Held<IStream> stream = ContentsStream(data.get(), 0);
    ASSERT_NE(stream, nullptr);
    const unsigned handles = SimOpenHandles();
    const unsigned misuses = SimThreadMisuses();

    // The copy thread reads a file of its own and is held inside that read.
    SimHoldCall("AFCFileRefRead");
    HANDLE thread = CreateThread(nullptr, 0, ReadAsTheCopyThread, nullptr, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    g_copyThread = thread;
    ResumeThread(thread);
    ASSERT_TRUE(PumpUntil([] { return SimHeldCalls() == 1; }));
    stream.reset();
    EXPECT_EQ(SimThreadMisuses(), misuses);
    EXPECT_EQ(SimOpenHandles(), handles + 1);  // the thread's file; the stream's stays open for now

    SimReleaseHeldCalls();
    WaitForSingleObject(thread, INFINITE);
    g_copyThread = nullptr;
    CloseHandle(thread);
    WaitForCopyThreadToFinish();
    EXPECT_EQ(SimOpenHandles(), handles - 1);
    EXPECT_EQ(SimThreadMisuses(), misuses);
}

// The clipboard's owner, a window of another thread: the next program to take the clipboard asks it
// to let go, and meanwhile this owner unplugs the device and waits until the program has seen that.
LRESULT CALLBACK UnplugWhenLettingGo(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROYCLIPBOARD) {
        SimDetach("drag");
        while (SimPendingNotices() != 0) Sleep(5);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI OwnClipboardUntilQuit(void* ready)
{
    WNDCLASSW type = {};
    type.lpfnWndProc = UnplugWhenLettingGo;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"TovarelTestClipboardOwner";
    RegisterClassW(&type);
    HWND owner = CreateWindowW(type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
    if (owner && OpenClipboard(owner)) {
        EmptyClipboard();
        HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 2);
        if (char* bytes = text ? static_cast<char*>(GlobalLock(text)) : nullptr) {
            bytes[0] = 'x';
            bytes[1] = 0;
            GlobalUnlock(text);
            SetClipboardData(CF_TEXT, text);
        }
        CloseClipboard();
    }
    SetEvent(static_cast<HANDLE>(ready));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    if (owner) DestroyWindow(owner);
    return 0;
}

// The copy's location closes while the copy is being put on the clipboard (a device change served
// while the clipboard is emptied): the copy is not left there answering for a location that is gone.
TEST_F(DataObjectTest, ACopyWhoseLocationClosesAsItGoesOnTheClipboardIsNotLeftThere)
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD ownerThread = 0;
    HANDLE owner = CreateThread(nullptr, 0, OwnClipboardUntilQuit, ready, 0, &ownerThread);
    ASSERT_NE(owner, nullptr);
    WaitForSingleObject(ready, 10000);
    DragItems readme;
    readme.push_back({OwnedWide(DupString(L"/Documents/readme.txt")), OwnedWide()});
    CopyItemsToClipboard(readme);
    EXPECT_FALSE(LocationOpen());
    EXPECT_FALSE(IsClipboardFormatAvailable(g_cfFileGroupDescriptorW)) << "a copy of a closed location";
    IDataObject* left = nullptr;
    if (SUCCEEDED(OleGetClipboard(&left)) && left) {
        std::vector<OfferedFile> files;
        EXPECT_TRUE(FAILED(GetDescriptors(left, files)));
        left->Release();
    }
    PostThreadMessageW(ownerThread, WM_QUIT, 0, 0);
    WaitForSingleObject(owner, 10000);
    CloseHandle(owner);
    CloseHandle(ready);
    OleSetClipboard(nullptr);
}

DWORD WINAPI CancelOnceBusy(void* found)
{
    for (int wait = 0; wait < 1000; ++wait) {
        if (HWND busy = FindWindowW(nullptr, L"Now Copying...")) {
            *static_cast<bool*>(found) = true;
            PostMessageW(busy, WM_COMMAND, IDCANCEL, 0);
            return 0;
        }
        Sleep(10);
    }
    return 0;
}

// Ctrl+C on a very large tree: the walk shows the busy dialog, whose Cancel stops it. Nothing goes
// on the clipboard, nothing is said, and the window is the user's again.
TEST_F(DataObjectTest, CancelStopsTheWalkOfACopy)
{
    const unsigned kFiles = 300;
    for (unsigned i = 0; i < kFiles; ++i) SimWriteFile(Documents(L"Many\\f" + std::to_wstring(i) + L".txt"), "x");
    OleSetClipboard(nullptr);
    DragItems many;
    many.push_back({OwnedWide(DupString(L"/Documents/Many")), OwnedWide()});
    MessageBoxWatch none(L"TovarelUSB", 1, nullptr, {window_});
    bool found = false;
    HANDLE canceller = CreateThread(nullptr, 0, CancelOnceBusy, &found, 0, nullptr);
    const unsigned sized = SimCallCount("AFCFileInfoOpen");
    SimSetLatency(5000, 0);
    CopyItemsToClipboard(many);
    SimSetLatency(0, 0);
    WaitForSingleObject(canceller, INFINITE);
    CloseHandle(canceller);
    EXPECT_TRUE(found) << "no busy dialog during the walk";
    EXPECT_LT(SimCallCount("AFCFileInfoOpen") - sized, kFiles) << "the walk went on to its end";
    EXPECT_FALSE(IsClipboardFormatAvailable(g_cfFileGroupDescriptorW));
    EXPECT_TRUE(IsWindowEnabled(window_));
    EXPECT_TRUE(none.NoneWithin(300)) << Utf8Text(none.Text());
    EXPECT_EQ(FindWindowW(nullptr, L"Now Copying..."), nullptr);
}

}  // namespace
