#include "DragOutSupport.h"

#include <ostream>

#include "WindowHarness.h"

const wchar_t kUserDocs[] = L"\\Library\\Application Support\\com.marlquist.tovarel.ASRoot\\UserDocs";

// The busy dialog seen from inside its own modal loop; `s_ending` (if set) is ended there.
namespace {

IDataObjectAsyncCapability* s_ending;
bool s_pressCancel;
int s_busyDialogsSeen;

void CALLBACK WatchBusyDialog(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = g_copyBusyDialog.load();
    if (!dialog) return;
    ++s_busyDialogsSeen;
    if (s_ending) {
        EXPECT_EQ(s_ending->EndOperation(S_OK, nullptr, DROPEFFECT_COPY), S_OK);
    } else if (s_pressCancel) {
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    } else {
        EndDialog(dialog, 0);  // opened with nothing left to close it: a fault, counted above
    }
}

}  // namespace

int BusyDialogsWhilePumping(IDataObjectAsyncCapability* ending, bool pressCancel)
{
    s_ending = ending;
    s_pressCancel = pressCancel;
    s_busyDialogsSeen = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, WatchBusyDialog);
    PumpMessages(600);
    KillTimer(nullptr, timer);
    s_ending = nullptr;
    return s_busyDialogsSeen;
}

void DragOutTest::SetUp()
{
    ProgramTest::SetUp();
    container_ = Folder(L"phone");
    SimWriteFile(Documents(L"readme.txt"), "hello world");
    SimWriteFile(Documents(L"Books\\Guide.pdf"), std::string(1200, 'g'));
    SimWriteFile(Documents(L"Books\\Old\\Notes.txt"), "notes");
    CreateDirectoryW(Documents(L"Books\\Empty").c_str(), nullptr);
    SimWriteFile(Documents(L"nosize.txt"), "abc");
    SimWriteFile(container_ + kUserDocs + L"\\Downloaded.pdf", "downloaded");
    config_ = "device drag\n  name Drag\n  app com.marlquist.tovarel " + Utf8Text(container_) +
              "\n  rawnames 1\n  nosize /Documents/nosize.txt\n";
    ASSERT_TRUE(LoadDevices(config_));
    ASSERT_TRUE(LocationOpen());
}

void DragOutTest::TearDown()
{
    EndDragOut();
    FreeTransferList();
    ProgramTest::TearDown();
}

std::wstring DragOutTest::Documents(const std::wstring& relative) const
{
    return L"\\\\?\\" + container_ + L"\\Documents\\" + relative;
}
