// TovarelDriver: drives another program's windows from scripts. Run it under the same Wine prefix
// and display as the program it drives.
//
//   TovarelDriver.exe COMMAND ARGS... [";" COMMAND ARGS...]
//
// Commands (TITLE is a top-level window's exact title; commands that take one wait up to 5 s for it):
//   wait-window TITLE [MS]        wait until a window with the title is visible (default 20000 ms)
//   wait-gone TITLE [MS]          wait until no window with the title is visible
//   windows                       list visible top-level windows: process id, class, title
//   texts TITLE                   the child controls' texts: id, class, text
//   menu TITLE ID                 choose a menu command
//   press TITLE ID                click the dialog button with this id (WM_COMMAND)
//   click TITLE ID                click the button with this id (BM_CLICK)
//   key TITLE KEY                 post a key (ESCAPE, RETURN, F2, A, ...) to the focused control
//   type TITLE KEY                type a key through SendInput, modifiers allowed (CTRL+A)
//   text TITLE STRING             post characters to the focused control
//   set-text TITLE ID STRING      set the text of the control with this id (WM_SETTEXT)
//   focus TITLE                   the id and class of the focused control
//   list TITLE ID                 list view items: texts tab-separated, then [selected] [focused]
//   tree TITLE ID                 tree view items, two spaces per level, then [selected] [expanded]
//   select TITLE ID TEXT          select the first tree view item with this text
//   select-item TITLE ID TEXT     select only the first list view item with this text
//   resize TITLE WIDTH HEIGHT     give the window this outer size, keeping its position
//   close TITLE                   the close box (WM_SYSCOMMAND SC_CLOSE)
//   wm-close TITLE                WM_CLOSE
//   start COMMAND-LINE            start a program, print its process id
//   wait-exit PID [MS]            wait for a process to end, print its exit status
//   screenshot FILE.bmp           the whole screen
//   sleep MS
//
// Screen positions and real mouse drags:
//   rect SPOT                     the spot's screen rectangle: LEFT TOP RIGHT BOTTOM
//   drag SPOT SPOT                drag with the real pointer (xdotool) from the first spot's centre
//                                 to the second's; prints FROM-X FROM-Y TO-X TO-Y and the time in ms
// where a SPOT is one of
//   window TITLE                  the window's client area
//   control TITLE ID              a control's client area
//   list-item TITLE ID TEXT       icon and label of the first list view item with this text
//   tree-item TITLE ID TEXT       text of the first tree view item with this text
//   client TITLE X Y              a point in the window's client coordinates
//   screen X Y                    a screen point
// List and tree items are scrolled into view first (a tree expands the item's parents).
// Results are printed one per line in UTF-8. Exit status 0 on success; otherwise 1 and a message on
// the error stream.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "E2EDriver.h"

namespace {

constexpr DWORD kFindTimeoutMs = 5000;

void WriteTo(DWORD stream, const std::wstring& line)
{
    std::string utf8 = e2e::ToUtf8(line + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(stream), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

void Print(const std::wstring& line)
{
    WriteTo(STD_OUTPUT_HANDLE, line);
}

bool Fail(const std::wstring& message)
{
    WriteTo(STD_ERROR_HANDLE, L"TovarelDriver: " + message);
    return false;
}

bool ParseNumber(const std::wstring& text, DWORD* value)
{
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    unsigned long parsed = wcstoul(text.c_str(), &end, 0);
    if (*end != L'\0') return false;
    *value = static_cast<DWORD>(parsed);
    return true;
}

using Arguments = std::vector<std::wstring>;

bool NeedArguments(const Arguments& args, size_t count, const wchar_t* usage)
{
    if (args.size() >= count) return true;
    return Fail(std::wstring(L"usage: ") + usage);
}

bool FindWindowByTitle(const std::wstring& title, HWND* window)
{
    *window = e2e::WaitForWindow(title, kFindTimeoutMs);
    if (*window) return true;
    return Fail(L"no visible window titled \"" + title + L"\"");
}

bool FindControl(const Arguments& args, HWND* control)
{
    HWND window = nullptr;
    DWORD id = 0;
    if (!ParseNumber(args[2], &id)) return Fail(L"not a control id: " + args[2]);
    if (!FindWindowByTitle(args[1], &window)) return false;
    *control = GetDlgItem(window, static_cast<int>(id));
    if (*control) return true;
    return Fail(L"no control " + args[2] + L" in \"" + args[1] + L"\"");
}

std::wstring Flags(bool first, const wchar_t* firstName, bool second, const wchar_t* secondName)
{
    std::wstring flags;
    if (first) flags += std::wstring(L" [") + firstName + L"]";
    if (second) flags += std::wstring(L" [") + secondName + L"]";
    return flags;
}

bool WaitWindow(const Arguments& args)
{
    if (!NeedArguments(args, 2, L"wait-window TITLE [MS]")) return false;
    DWORD timeout = 20000;
    if (args.size() > 2 && !ParseNumber(args[2], &timeout)) return Fail(L"not a time: " + args[2]);
    HWND window = e2e::WaitForWindow(args[1], timeout);
    if (!window) return Fail(L"no window titled \"" + args[1] + L"\" appeared");
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    Print(std::to_wstring(processId));
    return true;
}

bool WaitGone(const Arguments& args)
{
    if (!NeedArguments(args, 2, L"wait-gone TITLE [MS]")) return false;
    DWORD timeout = 20000;
    if (args.size() > 2 && !ParseNumber(args[2], &timeout)) return Fail(L"not a time: " + args[2]);
    DWORD start = GetTickCount();
    while (!e2e::FindTopWindows(args[1]).empty()) {
        if (GetTickCount() - start >= timeout) return Fail(L"the window \"" + args[1] + L"\" is still there");
        Sleep(50);
    }
    return true;
}

bool ListWindows(const Arguments&)
{
    for (const e2e::TopWindow& top : e2e::ListTopWindows()) {
        Print(std::to_wstring(top.processId) + L"\t" + top.className + L"\t" + top.title);
    }
    return true;
}

bool Texts(const Arguments& args)
{
    if (!NeedArguments(args, 2, L"texts TITLE")) return false;
    HWND window = nullptr;
    if (!FindWindowByTitle(args[1], &window)) return false;
    for (const e2e::ControlText& control : e2e::ReadChildTexts(window)) {
        Print(std::to_wstring(control.id) + L"\t" + control.className + L"\t" + control.text);
    }
    return true;
}

bool Menu(const Arguments& args)
{
    if (!NeedArguments(args, 3, L"menu TITLE ID")) return false;
    HWND window = nullptr;
    DWORD id = 0;
    if (!ParseNumber(args[2], &id)) return Fail(L"not a command id: " + args[2]);
    if (!FindWindowByTitle(args[1], &window)) return false;
    return e2e::ChooseMenuCommand(window, id) || Fail(L"could not post the command");
}

bool Press(const Arguments& args, bool asClick)
{
    if (!NeedArguments(args, 3, asClick ? L"click TITLE ID" : L"press TITLE ID")) return false;
    HWND button = nullptr;
    if (!FindControl(args, &button)) return false;
    HWND window = GetParent(button);
    int id = GetDlgCtrlID(button);
    bool ok = asClick ? e2e::ClickButton(window, id) : e2e::PressButton(window, id);
    return ok || Fail(L"could not press the button");
}

bool SetText(const Arguments& args)
{
    if (!NeedArguments(args, 4, L"set-text TITLE ID STRING")) return false;
    HWND control = nullptr;
    if (!FindControl(args, &control)) return false;
    return e2e::SetControlText(GetParent(control), GetDlgCtrlID(control), args[3]) || Fail(L"could not set the text");
}

bool Key(const Arguments& args, bool typed)
{
    if (!NeedArguments(args, 3, typed ? L"type TITLE KEY" : L"key TITLE KEY")) return false;
    e2e::KeyChord chord;
    if (!e2e::ParseKeyChord(args[2], &chord)) return Fail(L"unknown key: " + args[2]);
    HWND window = nullptr;
    if (!FindWindowByTitle(args[1], &window)) return false;
    if (typed) return e2e::TypeKey(window, chord) || Fail(L"could not type the key");
    if (!chord.modifiers.empty()) return Fail(L"keys with modifiers need \"type\"");
    return e2e::PostKey(window, chord) || Fail(L"could not post the key");
}

bool Text(const Arguments& args)
{
    if (!NeedArguments(args, 3, L"text TITLE STRING")) return false;
    HWND window = nullptr;
    if (!FindWindowByTitle(args[1], &window)) return false;
    return e2e::PostText(window, args[2]) || Fail(L"could not post the text");
}

bool Focus(const Arguments& args)
{
    if (!NeedArguments(args, 2, L"focus TITLE")) return false;
    HWND window = nullptr;
    if (!FindWindowByTitle(args[1], &window)) return false;
    HWND focus = e2e::FocusedWindowOf(window);
    Print(std::to_wstring(GetDlgCtrlID(focus)) + L"\t" + e2e::WindowClass(focus));
    return true;
}

bool List(const Arguments& args)
{
    if (!NeedArguments(args, 3, L"list TITLE ID")) return false;
    HWND list = nullptr;
    if (!FindControl(args, &list)) return false;
    std::vector<e2e::ListItem> items;
    if (!e2e::ReadListItems(list, &items)) return Fail(L"could not read the list");
    for (const e2e::ListItem& item : items) {
        std::wstring line;
        for (size_t i = 0; i < item.texts.size(); ++i) line += (i ? L"\t" : L"") + item.texts[i];
        Print(line + Flags(item.selected, L"selected", item.focused, L"focused"));
    }
    return true;
}

bool Tree(const Arguments& args)
{
    if (!NeedArguments(args, 3, L"tree TITLE ID")) return false;
    HWND tree = nullptr;
    if (!FindControl(args, &tree)) return false;
    std::vector<e2e::TreeItem> items;
    if (!e2e::ReadTreeItems(tree, &items)) return Fail(L"could not read the tree");
    for (const e2e::TreeItem& item : items) {
        Print(std::wstring(static_cast<size_t>(item.depth) * 2, L' ') + item.text +
              Flags(item.selected, L"selected", item.expanded, L"expanded"));
    }
    return true;
}

bool SelectInTree(const Arguments& args)
{
    if (!NeedArguments(args, 4, L"select TITLE ID TEXT")) return false;
    HWND tree = nullptr;
    if (!FindControl(args, &tree)) return false;
    return e2e::SelectTreeItem(tree, args[3]) || Fail(L"no tree item \"" + args[3] + L"\" to select");
}

bool SelectInList(const Arguments& args)
{
    if (!NeedArguments(args, 4, L"select-item TITLE ID TEXT")) return false;
    HWND list = nullptr;
    if (!FindControl(args, &list)) return false;
    return e2e::SelectListItem(list, args[3]) || Fail(L"no list item \"" + args[3] + L"\" to select");
}

bool Resize(const Arguments& args)
{
    if (!NeedArguments(args, 4, L"resize TITLE WIDTH HEIGHT")) return false;
    HWND window = nullptr;
    DWORD width = 0;
    DWORD height = 0;
    if (!FindWindowByTitle(args[1], &window)) return false;
    if (!ParseNumber(args[2], &width) || !ParseNumber(args[3], &height)) return Fail(L"WIDTH and HEIGHT are numbers");
    UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    return SetWindowPos(window, nullptr, 0, 0, static_cast<int>(width), static_cast<int>(height), flags) ||
           Fail(L"could not resize the window");
}

bool Close(const Arguments& args, bool withMessage)
{
    if (!NeedArguments(args, 2, withMessage ? L"wm-close TITLE" : L"close TITLE")) return false;
    HWND window = nullptr;
    if (!FindWindowByTitle(args[1], &window)) return false;
    bool ok = withMessage ? e2e::PostCloseMessage(window) : e2e::CloseWindowLikeUser(window);
    return ok || Fail(L"could not close the window");
}

bool Start(const Arguments& args)
{
    if (!NeedArguments(args, 2, L"start COMMAND-LINE")) return false;
    std::wstring line;
    for (size_t i = 1; i < args.size(); ++i) line += (i > 1 ? L" " : L"") + e2e::QuoteArgument(args[i]);
    std::wstring error;
    e2e::Process process = e2e::StartProcess(line, &error);
    if (!process.Valid()) return Fail(error);
    Print(std::to_wstring(process.Id()));
    return true;
}

bool WaitExit(const Arguments& args)
{
    if (!NeedArguments(args, 2, L"wait-exit PID [MS]")) return false;
    DWORD id = 0;
    DWORD timeout = 20000;
    if (!ParseNumber(args[1], &id)) return Fail(L"not a process id: " + args[1]);
    if (args.size() > 2 && !ParseNumber(args[2], &timeout)) return Fail(L"not a time: " + args[2]);
    e2e::Process process = e2e::OpenProcessById(id);
    if (!process.Valid()) return Fail(L"no process " + args[1]);
    DWORD code = 0;
    if (!process.WaitForExit(timeout, &code)) return Fail(L"the process is still running");
    Print(std::to_wstring(code));
    return true;
}

bool Screenshot(const Arguments& args)
{
    if (!NeedArguments(args, 2, L"screenshot FILE.bmp")) return false;
    return e2e::SaveScreenshot(e2e::UnixToWindowsPath(args[1])) || Fail(L"could not write " + args[1]);
}

bool Pause(const Arguments& args)
{
    DWORD ms = 0;
    if (!NeedArguments(args, 2, L"sleep MS") || !ParseNumber(args[1], &ms)) return Fail(L"usage: sleep MS");
    Sleep(ms);
    return true;
}

// --- Screen positions and real mouse drags -----------------------------------------------------

const wchar_t kSpotUsage[] =
    L"a spot is: window TITLE | control TITLE ID | list-item TITLE ID TEXT | tree-item TITLE ID TEXT | "
    L"client TITLE X Y | screen X Y";

bool ParsePoint(const std::wstring& x, const std::wstring& y, POINT* point)
{
    wchar_t* xEnd = nullptr;
    wchar_t* yEnd = nullptr;
    point->x = wcstol(x.c_str(), &xEnd, 10);
    point->y = wcstol(y.c_str(), &yEnd, 10);
    if (!x.empty() && !y.empty() && *xEnd == L'\0' && *yEnd == L'\0') return true;
    return Fail(L"not a point: " + x + L" " + y);
}

size_t SpotLength(const std::wstring& kind)
{
    if (kind == L"window") return 2;
    if (kind == L"control" || kind == L"screen") return 3;
    if (kind == L"list-item" || kind == L"tree-item" || kind == L"client") return 4;
    return 0;
}

bool PointRect(POINT point, RECT* rect)
{
    *rect = {point.x, point.y, point.x + 1, point.y + 1};
    return true;
}

// The screen rectangle of one spot: its words, the kind first.
bool SpotRect(const Arguments& spot, RECT* rect)
{
    const std::wstring& kind = spot[0];
    POINT point = {};
    if (kind == L"screen") return ParsePoint(spot[1], spot[2], &point) && PointRect(point, rect);
    HWND window = nullptr;
    if (kind == L"window" || kind == L"client") {
        if (!FindWindowByTitle(spot[1], &window)) return false;
        if (kind == L"window") return e2e::ClientScreenRect(window, rect) || Fail(L"no client area");
        return ParsePoint(spot[2], spot[3], &point) && ClientToScreen(window, &point) && PointRect(point, rect);
    }
    HWND control = nullptr;
    if (!FindControl(spot, &control)) return false;
    if (kind == L"control") return e2e::ClientScreenRect(control, rect) || Fail(L"no client area");
    if (kind == L"list-item") {
        int index = e2e::FindListItem(control, spot[3]);
        if (index < 0) return Fail(L"no list item \"" + spot[3] + L"\"");
        return e2e::ListItemScreenRect(control, index, rect) || Fail(L"the list item does not show");
    }
    HTREEITEM item = e2e::FindTreeItem(control, spot[3]);
    if (!item) return Fail(L"no tree item \"" + spot[3] + L"\"");
    return e2e::TreeItemScreenRect(control, item, rect) || Fail(L"the tree item does not show");
}

// Reads the spot that starts at args[*at] and moves *at past it.
bool ReadSpot(const Arguments& args, size_t* at, RECT* rect)
{
    size_t length = *at < args.size() ? SpotLength(args[*at]) : 0;
    if (!length || *at + length > args.size()) return Fail(kSpotUsage);
    Arguments spot(args.begin() + static_cast<std::ptrdiff_t>(*at), args.begin() + static_cast<std::ptrdiff_t>(*at + length));
    *at += length;
    return SpotRect(spot, rect);
}

bool Rect(const Arguments& args)
{
    size_t at = 1;
    RECT rect = {};
    if (!ReadSpot(args, &at, &rect)) return false;
    if (at != args.size()) return Fail(L"usage: rect SPOT");
    Print(std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " + std::to_wstring(rect.right) + L" " +
          std::to_wstring(rect.bottom));
    return true;
}

bool Drag(const Arguments& args)
{
    size_t at = 1;
    RECT from = {};
    RECT to = {};
    if (!ReadSpot(args, &at, &from) || !ReadSpot(args, &at, &to)) return false;
    if (at != args.size()) return Fail(L"usage: drag SPOT SPOT");
    POINT start = e2e::CentreOf(from);
    POINT end = e2e::CentreOf(to);
    DWORD began = GetTickCount();
    std::wstring error;
    if (!e2e::MouseDrag(start, end, &error)) return Fail(error);
    Print(std::to_wstring(start.x) + L" " + std::to_wstring(start.y) + L" " + std::to_wstring(end.x) + L" " +
          std::to_wstring(end.y) + L" " + std::to_wstring(GetTickCount() - began));
    return true;
}

bool RunCommand(const Arguments& args)
{
    const std::wstring& name = args[0];
    if (name == L"wait-window") return WaitWindow(args);
    if (name == L"wait-gone") return WaitGone(args);
    if (name == L"windows") return ListWindows(args);
    if (name == L"texts") return Texts(args);
    if (name == L"menu") return Menu(args);
    if (name == L"press") return Press(args, false);
    if (name == L"click") return Press(args, true);
    if (name == L"key") return Key(args, false);
    if (name == L"type") return Key(args, true);
    if (name == L"text") return Text(args);
    if (name == L"set-text") return SetText(args);
    if (name == L"focus") return Focus(args);
    if (name == L"list") return List(args);
    if (name == L"tree") return Tree(args);
    if (name == L"select") return SelectInTree(args);
    if (name == L"select-item") return SelectInList(args);
    if (name == L"resize") return Resize(args);
    if (name == L"close") return Close(args, false);
    if (name == L"wm-close") return Close(args, true);
    if (name == L"start") return Start(args);
    if (name == L"wait-exit") return WaitExit(args);
    if (name == L"screenshot") return Screenshot(args);
    if (name == L"sleep") return Pause(args);
    if (name == L"rect") return Rect(args);
    if (name == L"drag") return Drag(args);
    return Fail(L"unknown command: " + name);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        Fail(L"usage: TovarelDriver.exe COMMAND ARGS... [\";\" COMMAND ARGS...]");
        return 2;
    }
    Arguments command;
    for (int i = 1; i <= argc; ++i) {
        if (i == argc || std::wstring(argv[i]) == L";") {
            if (command.empty()) continue;
            if (!RunCommand(command)) return 1;
            command.clear();
            continue;
        }
        command.push_back(argv[i]);
    }
    return 0;
}
