// Select-all benchmark: how long the real main window is busy with Ctrl+A on a folder of many files,
// and with the click on one item after it, which deselects all the others.
//
// Starts the program in this process with the simulated device library, shows a folder of 20,000
// empty files (or the counts given) in the file list, then presses Ctrl+A on the list and clicks its
// first item, and prints for each how long the window took until it was idle again, and how many
// items were selected afterwards. The aim is under 500 ms each.
//
// It opens a window: run it under Wine with the build's prefix on a display (scripts/run-benchmarks.sh
// starts a virtual one when there is none):
//   source scripts/wine-env.sh <build>; wine <build>/Testbed/Benchmarks/SelectAllBenchmark.exe [n...]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchmarkSupport.h"
#include "MainWindow.h"
#include "Startup.h"
#include "TextUtil.h"
#include "iPhone.h"
#include "resource.h"

namespace {

// Handles what the window has to do, until nothing is left or the time is up.
void Pump(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (GetTickCount() - start >= milliseconds) return;
    } while (MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT) != WAIT_FAILED);
}

template <class Condition> bool PumpUntil(Condition condition, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= milliseconds) return false;
        Pump(10);
    }
    return true;
}

HTREEITEM ChildNamed(HWND tree, HTREEITEM parent, const wchar_t* name)
{
    for (HTREEITEM child = TreeView_GetChild(tree, parent); child; child = TreeView_GetNextSibling(tree, child)) {
        wchar_t text[MAX_PATH] = L"";
        TVITEMW item = {};
        item.mask = TVIF_TEXT;
        item.hItem = child;
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        if (TreeView_GetItem(tree, &item) && wcscmp(text, name) == 0) return child;
    }
    return nullptr;
}

// Shows "My Documents/<folder>" as a user does, by selecting its tree items.
bool ShowDocumentsFolder(const std::wstring& folder)
{
    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    HTREEITEM documents = ChildNamed(tree, TreeView_GetRoot(tree), L"My Documents");
    if (!documents) return false;
    TreeView_SelectItem(tree, documents);
    Pump(0);
    HTREEITEM item = ChildNamed(tree, documents, folder.c_str());
    if (!item) return false;
    TreeView_SelectItem(tree, item);
    Pump(0);
    return TreeView_GetSelection(tree) == item;
}

void SetControlKey(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

// Milliseconds from the input until the window has handled the last message that followed from it
// (one that comes later than 100 ms after the one before is not counted).
template <class Input> double TimeUntilIdle(Input input)
{
    int64_t start = ClockTicks();
    input();
    int64_t end = ClockTicks();
    while (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0) {
        Pump(0);
        end = ClockTicks();
    }
    return Milliseconds(end - start);
}

double PressControlA(HWND list)
{
    return TimeUntilIdle([list] {
        SetControlKey(true);
        SendMessageW(list, WM_KEYDOWN, 'A', 1);
        SendMessageW(list, WM_KEYUP, 'A', 0xC0000001);
        SetControlKey(false);
    });
}

double ClickFirstItem(HWND list)
{
    RECT label = {};
    ListView_GetItemRect(list, 0, &label, LVIR_LABEL);
    LPARAM point = MAKELPARAM((label.left + label.right) / 2, (label.top + label.bottom) / 2);
    return TimeUntilIdle([list, point] {
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageW(list, WM_LBUTTONUP, 0, point);
    });
}

struct Measure {
    int items = 0;
    int shown = 0;
    double selectAllMs = 0;
    UINT selectedAfterSelectAll = 0;
    double clickMs = 0;
    UINT selectedAfterClick = 0;
};

Measure MeasureFolder(const std::wstring& documents, int items)
{
    Measure measure;
    measure.items = items;
    std::wstring name = L"select" + std::to_wstring(items);
    if (!FillFolder(documents + L"\\" + name, items) || !ShowDocumentsFolder(name)) return measure;
    HWND list = g_fileList;
    measure.shown = ListView_GetItemCount(list);
    SetFocus(list);
    Pump(0);
    measure.selectAllMs = PressControlA(list);
    measure.selectedAfterSelectAll = ListView_GetSelectedCount(list);
    measure.clickMs = ClickFirstItem(list);
    measure.selectedAfterClick = ListView_GetSelectedCount(list);
    // Back to the root, so that the folder's files can go.
    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    TreeView_SelectItem(tree, TreeView_GetRoot(tree));
    Pump(0);
    EmptyFolder(documents + L"\\" + name, items);
    return measure;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(atoi(argv[i]));
    if (sizes.empty()) sizes = {20000};

    SimControls sim = {};
    if (!StartProgram(GetModuleHandleW(nullptr)) || !FindSimControls(sim)) {
        fprintf(stderr, "The simulated device library is not registered in this Wine prefix.\n");
        return 1;
    }
    std::wstring container = MakeBenchmarkFolder(L"TovarelSelectAllBenchmark");
    std::wstring documents = container + L"\\Documents";
    CreateDirectoryW(documents.c_str(), nullptr);
    OwnedUtf8 containerUtf8(ToUtf8(container.c_str()));
    std::string config =
        std::string("device bench\nname Bench\napp " EDITION_IPHONE_IDENTIFIER " ") + containerUtf8.get() + "\n";
    HWND window = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (!window || sim.loadConfigText(config.c_str()) != 0) {
        fprintf(stderr, "The main window or the simulated device could not be set up.\n");
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    if (!PumpUntil([] { return g_rootFolder.load() && g_currentFolder.load() == g_rootFolder.load(); }, 30000)) {
        fprintf(stderr, "The simulated device's documents did not open.\n");
        return 1;
    }

    std::vector<Measure> measures;
    for (int items : sizes) measures.push_back(MeasureFolder(documents, items));

    printf("%10s %14s %16s %12s %16s\n", "items", "Ctrl+A ms", "selected after", "click ms", "selected after");
    bool ok = true;
    for (const Measure& m : measures) {
        bool right = m.shown == m.items && m.selectedAfterSelectAll == static_cast<UINT>(m.items) &&
                     m.selectedAfterClick == 1;
        ok = ok && right;
        printf("%10d %14.1f %16u %12.1f %16u%s\n", m.items, m.selectAllMs, m.selectedAfterSelectAll, m.clickMs,
               m.selectedAfterClick, right ? "" : "  (WRONG SELECTION)");
    }

    sim.loadConfigText("");
    PumpUntil([&sim] { return sim.pendingNotices() == 0; }, 10000);
    DestroyWindow(window);
    StopProgram();
    RemoveDirectoryW(documents.c_str());
    RemoveDirectoryW(container.c_str());
    return ok ? 0 : 1;
}
