#include "UploadSupport.h"

#include <commctrl.h>

#include "MessageBoxWatch.h"
#include "WindowHarness.h"
#include "iPhone.h"

const wchar_t kCopyErrorText[] = L"Error happened during copy operation";
const wchar_t kCancelledText[] = L"Copy operation was cancelled";
const wchar_t kExistsText[] =
    L"The file or folder with the same name already exists at the destination path.\nNothing was copied.";
const wchar_t kWarningTitle[] = L"TovarelUSB";
const wchar_t kExistsTitle[] = L"TovarelUSB - File / folder already exists";

namespace {

CopyRecord* s_record;
HHOOK s_hook;

LRESULT CALLBACK RecordCopyMessages(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    // From the moment the dialog is published: its own emptying of the text line is not the copy's.
    if (code == HC_ACTION && s_record && message->hwnd && g_copyDialog.load()) {
        bool recorded = false;
        if (message->message == WM_SETTEXT && message->hwnd == g_copyStatusText.load()) {
            s_record->texts.emplace_back(reinterpret_cast<const wchar_t*>(message->lParam));
            recorded = true;
        } else if (message->message == PBM_SETPOS && message->hwnd == g_copyProgressBar.load()) {
            s_record->positions.push_back(static_cast<int>(message->wParam));
            recorded = true;
        }
        if (recorded && s_record->onEvent) s_record->onEvent(*s_record);
    }
    return CallNextHookEx(s_hook, code, wParam, lParam);
}

POINTL ToScreen(HWND control, LONG x, LONG y)
{
    POINT point = {x, y};
    ClientToScreen(control, &point);
    return POINTL{point.x, point.y};
}

}  // namespace

void PressCopyCancel()
{
    HWND dialog = g_copyDialog;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
}

void UploadTest::SetUp()
{
    ProgramTest::SetUp();
    container_ = Folder(L"container");
    local_ = Folder(L"local");
    CreateDirectoryW(local_.c_str(), nullptr);
    SimWriteFile(DeviceDocuments() + L"\\Books\\Guide.pdf", std::string(1200, 'g'));
    SimWriteFile(DeviceDocuments() + L"\\Books\\Old\\Notes.txt", "notes");
    SimWriteFile(DeviceDocuments() + L"\\readme.txt", "hello world");
    CreateDirectoryW((DeviceDocuments() + L"\\Empty").c_str(), nullptr);
    std::string config = "device upload\n  name Upload\n  app com.marlquist.tovarel " + Utf8Text(container_) + "\n";
    ASSERT_TRUE(LoadDevices(config));
    ASSERT_NE(g_rootFolder.load(), nullptr);
    ASSERT_NE(SelectTreeItemByNames({L"My Documents"}), nullptr);
    s_record = &record_;
    s_hook = SetWindowsHookExW(WH_CALLWNDPROC, RecordCopyMessages, nullptr, GetCurrentThreadId());
    ASSERT_NE(s_hook, nullptr);
}

void UploadTest::TearDown()
{
    if (s_hook) UnhookWindowsHookEx(s_hook);
    s_hook = nullptr;
    s_record = nullptr;
    SimFailCall("AFCFileRefOpen", 0);
    SimFailCall("AFCFileRefWrite", 0);
    SimFailCall("AFCDirectoryCreate", 0);
    SimFailCall("AFCDirectoryOpen", 0);
    SimFailCall("AFCFileInfoOpen", 0);
    SimSetLatency(0, 0);
    ProgramTest::TearDown();
}

POINTL UploadTest::OverTreeItem(HTREEITEM item) const
{
    HWND tree = TreeControlForTest();
    RECT rect = {};
    TreeView_GetItemRect(tree, item, &rect, TRUE);
    return ToScreen(tree, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

POINTL UploadTest::OverListItem(const wchar_t* name) const
{
    std::vector<std::wstring> texts = ListTexts(g_fileList);
    for (size_t i = 0; i < texts.size(); ++i) {
        if (texts[i] != name) continue;
        RECT rect = {};
        ListView_GetItemRect(g_fileList, static_cast<int>(i), &rect, LVIR_LABEL);
        return ToScreen(g_fileList, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    ADD_FAILURE() << "no list item named " << Utf8Text(name);
    return POINTL{0, 0};
}

bool UploadTest::WaitForCopyEnd(DWORD timeoutMilliseconds)
{
    // The progress dialog runs inside the handling of a posted message: pump until it has come and gone.
    return PumpUntil([] { return !g_copyThread.load() && !g_copyDialog.load(); }, timeoutMilliseconds);
}

std::wstring UploadTest::DropAndFinish(IDropTarget* target, POINTL point, const std::vector<std::wstring>& paths,
                                       const wchar_t* warningTitle, const std::function<void()>& afterDrop)
{
    bool expectWarning = warningTitle[0] != L'\0';
    MessageBoxWatch watch(expectWarning ? warningTitle : kWarningTitle, 1, nullptr, {window_});
    DropFilesAt(target, point, paths);
    // The copy thread waits for the progress dialog, which needs this thread's messages.
    if (afterDrop) afterDrop();
    EXPECT_TRUE(WaitForCopyEnd());
    if (!expectWarning) {
        EXPECT_TRUE(watch.NoneWithin(300)) << Utf8Text(watch.Text());
        return L"";
    }
    EXPECT_TRUE(watch.Wait(10000));
    PumpMessages(20);
    return watch.Text();
}
