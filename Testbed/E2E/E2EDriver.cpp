#include "E2EDriver.h"

#include <commctrl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace e2e {

namespace {

constexpr DWORD kPollMs = 50;
constexpr UINT kSendTimeoutMs = 5000;

// A block of memory in another process, for the control messages whose parameters are pointers.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, size_t size)
        : process_(process),
          address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteBlock()
    {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool Valid() const { return address_ != nullptr; }
    BYTE* At(size_t offset) const { return static_cast<BYTE*>(address_) + offset; }
    bool Write(size_t offset, const void* data, size_t size) const
    {
        SIZE_T written = 0;
        return WriteProcessMemory(process_, At(offset), data, size, &written) && written == size;
    }
    bool Read(size_t offset, void* data, size_t size) const
    {
        SIZE_T read = 0;
        return ReadProcessMemory(process_, At(offset), data, size, &read) && read == size;
    }

private:
    HANDLE process_;
    void* address_;
};

struct HandleOwner {
    HANDLE handle;
    explicit HandleOwner(HANDLE h) : handle(h) {}
    ~HandleOwner()
    {
        if (handle) CloseHandle(handle);
    }
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
};

HANDLE OpenOwnerProcess(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!processId) return nullptr;
    return OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE,
                       processId);
}

bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &answer)) return false;
    if (result) *result = answer;
    return true;
}

std::wstring ControlTextOf(HWND control)
{
    DWORD_PTR length = 0;
    if (!SendWithTimeout(control, WM_GETTEXTLENGTH, 0, 0, &length)) return std::wstring();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    // WM_GETTEXT is one of the messages the system copies between processes.
    if (!SendWithTimeout(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), &copied)) {
        return std::wstring();
    }
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

struct FindContext {
    const std::wstring* title;
    DWORD processId;
    bool containing;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectMatchingWindow(HWND window, LPARAM parameter)
{
    FindContext* context = reinterpret_cast<FindContext*>(parameter);
    if (!IsWindowVisible(window)) return TRUE;
    if (context->processId) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != context->processId) return TRUE;
    }
    std::wstring title = WindowTitle(window);
    bool matches = context->containing ? title.find(*context->title) != std::wstring::npos : title == *context->title;
    if (matches) context->found->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectTopWindow(HWND window, LPARAM parameter)
{
    auto* windows = reinterpret_cast<std::vector<TopWindow>*>(parameter);
    if (!IsWindowVisible(window)) return TRUE;
    TopWindow top;
    top.window = window;
    top.processId = 0;
    GetWindowThreadProcessId(window, &top.processId);
    top.title = WindowTitle(window);
    top.className = WindowClass(window);
    windows->push_back(top);
    return TRUE;
}

struct NamedKey {
    const wchar_t* name;
    WORD key;
};

const NamedKey kNamedKeys[] = {
    {L"ESCAPE", VK_ESCAPE}, {L"ESC", VK_ESCAPE},    {L"RETURN", VK_RETURN}, {L"ENTER", VK_RETURN},
    {L"TAB", VK_TAB},       {L"SPACE", VK_SPACE},   {L"DELETE", VK_DELETE}, {L"DEL", VK_DELETE},
    {L"BACK", VK_BACK},     {L"BACKSPACE", VK_BACK}, {L"UP", VK_UP},        {L"DOWN", VK_DOWN},
    {L"LEFT", VK_LEFT},     {L"RIGHT", VK_RIGHT},   {L"HOME", VK_HOME},     {L"END", VK_END},
    {L"PRIOR", VK_PRIOR},   {L"NEXT", VK_NEXT},     {L"INSERT", VK_INSERT}, {L"APPS", VK_APPS},
};

bool ParseKeyName(const std::wstring& name, WORD* key)
{
    if (name.size() == 1) {
        wchar_t c = name[0];
        if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
            *key = static_cast<WORD>(c);
            return true;
        }
        return false;
    }
    if (name.size() >= 2 && name[0] == L'F') {
        int number = _wtoi(name.c_str() + 1);
        if (number >= 1 && number <= 24) {
            *key = static_cast<WORD>(VK_F1 + number - 1);
            return true;
        }
    }
    for (const NamedKey& named : kNamedKeys) {
        if (name == named.name) {
            *key = named.key;
            return true;
        }
    }
    return false;
}

LPARAM KeyMessageParameter(WORD key, bool up)
{
    UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    LPARAM lParam = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
    if (up) lParam |= (1 << 30) | (1u << 31);
    return lParam;
}

INPUT KeyInput(WORD key, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

bool WriteAll(HANDLE file, const void* data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

}  // namespace

// --- Processes -------------------------------------------------------------------------------------

Process::~Process()
{
    if (handle_) CloseHandle(handle_);
}

Process::Process(Process&& other) noexcept : handle_(other.handle_), id_(other.id_)
{
    other.handle_ = nullptr;
    other.id_ = 0;
}

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        if (handle_) CloseHandle(handle_);
        handle_ = other.handle_;
        id_ = other.id_;
        other.handle_ = nullptr;
        other.id_ = 0;
    }
    return *this;
}

bool Process::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const
{
    if (!handle_ || WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(handle_, &code)) return false;
    if (exitCode) *exitCode = code;
    return true;
}

void Process::Terminate() const
{
    if (!handle_) return;
    if (WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0) return;
    TerminateProcess(handle_, 0xDEAD);
    WaitForSingleObject(handle_, 10000);
}

Process StartProcess(const std::wstring& commandLine, std::wstring* error)
{
    std::wstring mutableLine = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        if (error) *error = L"CreateProcessW failed with error " + std::to_wstring(GetLastError());
        return Process();
    }
    // For a Unix program Wine reports success but leaves the handles and ids as whatever was on its
    // stack: closing those would close handles of this process (its standard output, say). Only
    // handles that are the process and thread they claim to be are ours.
    if (info.hThread && GetThreadId(info.hThread) == info.dwThreadId && info.dwThreadId) CloseHandle(info.hThread);
    if (!info.hProcess || !info.dwProcessId || GetProcessId(info.hProcess) != info.dwProcessId) return Process();
    return Process(info.hProcess, info.dwProcessId);
}

Process OpenProcessById(DWORD id)
{
    HANDLE handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id);
    return handle ? Process(handle, id) : Process();
}

std::wstring UnixToWindowsPath(const std::wstring& path)
{
    if (path.empty() || path[0] != L'/') return path;
    std::wstring windows = L"Z:" + path;
    for (wchar_t& c : windows) {
        if (c == L'/') c = L'\\';
    }
    return windows;
}

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// --- Windows ---------------------------------------------------------------------------------------

std::wstring WindowTitle(HWND window)
{
    wchar_t title[512] = L"";
    GetWindowTextW(window, title, 512);
    return title;
}

std::wstring WindowClass(HWND window)
{
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

std::vector<HWND> FindTopWindows(const std::wstring& title, DWORD processId)
{
    std::vector<HWND> found;
    FindContext context = {&title, processId, false, &found};
    EnumWindows(CollectMatchingWindow, reinterpret_cast<LPARAM>(&context));
    return found;
}

std::vector<HWND> FindTopWindowsContaining(const std::wstring& text)
{
    std::vector<HWND> found;
    FindContext context = {&text, 0, true, &found};
    EnumWindows(CollectMatchingWindow, reinterpret_cast<LPARAM>(&context));
    return found;
}

std::vector<TopWindow> ListTopWindows()
{
    std::vector<TopWindow> windows;
    EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND WaitForWindow(const std::wstring& title, DWORD timeoutMs, DWORD processId)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = FindTopWindows(title, processId);
        if (!found.empty()) return found.front();
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(kPollMs);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
    return true;
}

std::vector<ControlText> ReadChildTexts(HWND window)
{
    std::vector<ControlText> texts;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::wstring text = ControlTextOf(child);
        // A picture made from a resource keeps the resource's ordinal as its text.
        if (text.size() == 2 && text[0] == 0xFFFF) text = L"#" + std::to_wstring(static_cast<unsigned>(text[1]));
        texts.push_back({GetDlgCtrlID(child), WindowClass(child), text});
    }
    return texts;
}

std::wstring MessageBoxText(HWND box)
{
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? ControlTextOf(text) : std::wstring();
}

// --- Input -----------------------------------------------------------------------------------------

bool ChooseMenuCommand(HWND window, UINT id)
{
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0) != FALSE;
}

bool PressButton(HWND window, int id)
{
    HWND button = GetDlgItem(window, id);
    if (!button) return false;
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool SetControlText(HWND window, int id, const std::wstring& text)
{
    HWND control = GetDlgItem(window, id);
    DWORD_PTR result = 0;
    return control && SendWithTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &result) &&
           result != FALSE;
}

bool ClickButton(HWND window, int id)
{
    HWND button = GetDlgItem(window, id);
    return button && PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

bool CloseWindowLikeUser(HWND window)
{
    return PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
}

bool PostCloseMessage(HWND window)
{
    return PostMessageW(window, WM_CLOSE, 0, 0) != FALSE;
}

bool ParseKeyChord(const std::wstring& text, KeyChord* chord)
{
    KeyChord parsed;
    std::wstring upper = text;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    size_t start = 0;
    for (;;) {
        size_t plus = upper.find(L'+', start);
        std::wstring part = upper.substr(start, plus == std::wstring::npos ? std::wstring::npos : plus - start);
        if (plus == std::wstring::npos) {
            if (!ParseKeyName(part, &parsed.key)) return false;
            break;
        }
        if (part == L"CTRL" || part == L"CONTROL") {
            parsed.modifiers.push_back(VK_CONTROL);
        } else if (part == L"SHIFT") {
            parsed.modifiers.push_back(VK_SHIFT);
        } else if (part == L"ALT") {
            parsed.modifiers.push_back(VK_MENU);
        } else {
            return false;
        }
        start = plus + 1;
    }
    *chord = parsed;
    return true;
}

HWND FocusedWindowOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (thread && GetGUIThreadInfo(thread, &info)) {
        if (info.hwndFocus) return info.hwndFocus;
        if (info.hwndActive) return info.hwndActive;
    }
    return window;
}

bool PostKey(HWND window, const KeyChord& chord)
{
    if (!chord.modifiers.empty() || !chord.key) return false;
    HWND target = FocusedWindowOf(window);
    return PostMessageW(target, WM_KEYDOWN, chord.key, KeyMessageParameter(chord.key, false)) &&
           PostMessageW(target, WM_KEYUP, chord.key, KeyMessageParameter(chord.key, true));
}

bool TypeKey(HWND window, const KeyChord& chord)
{
    if (!chord.key) return false;
    SetForegroundWindow(window);
    std::vector<INPUT> inputs;
    for (WORD modifier : chord.modifiers) inputs.push_back(KeyInput(modifier, false));
    inputs.push_back(KeyInput(chord.key, false));
    inputs.push_back(KeyInput(chord.key, true));
    for (auto it = chord.modifiers.rbegin(); it != chord.modifiers.rend(); ++it) inputs.push_back(KeyInput(*it, true));
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size();
}

bool PostText(HWND window, const std::wstring& text)
{
    HWND target = FocusedWindowOf(window);
    for (wchar_t c : text) {
        if (!PostMessageW(target, WM_CHAR, c, 1)) return false;
    }
    return true;
}

// --- Lists and trees of another process ------------------------------------------------------------

bool ReadListItems(HWND list, std::vector<ListItem>* items)
{
    items->clear();
    DWORD_PTR count = 0;
    if (!SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0, &count)) return false;
    int columns = 1;
    DWORD_PTR header = 0;
    LONG style = GetWindowLongW(list, GWL_STYLE);
    if ((style & LVS_TYPEMASK) == LVS_REPORT && SendWithTimeout(list, LVM_GETHEADER, 0, 0, &header) && header) {
        DWORD_PTR headerCount = 0;
        if (SendWithTimeout(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, &headerCount) && headerCount > 0) {
            columns = static_cast<int>(headerCount);
        }
    }
    HandleOwner process(OpenOwnerProcess(list));
    if (!process.handle) return false;
    const int textChars = 1024;
    RemoteBlock remote(process.handle, sizeof(LVITEMW) + textChars * sizeof(wchar_t));
    if (!remote.Valid()) return false;
    std::unique_ptr<wchar_t[]> text(new wchar_t[textChars]);
    for (DWORD_PTR index = 0; index < count; ++index) {
        ListItem item;
        for (int column = 0; column < columns; ++column) {
            LVITEMW request = {};
            request.iSubItem = column;
            request.pszText = reinterpret_cast<LPWSTR>(remote.At(sizeof(LVITEMW)));
            request.cchTextMax = textChars;
            DWORD_PTR length = 0;
            if (!remote.Write(0, &request, sizeof request) ||
                !SendWithTimeout(list, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(remote.At(0)), &length)) {
                return false;
            }
            if (length >= static_cast<DWORD_PTR>(textChars)) length = textChars - 1;
            if (length && !remote.Read(sizeof(LVITEMW), text.get(), length * sizeof(wchar_t))) return false;
            item.texts.emplace_back(text.get(), length);
        }
        DWORD_PTR state = 0;
        if (!SendWithTimeout(list, LVM_GETITEMSTATE, index, LVIS_SELECTED | LVIS_FOCUSED, &state)) return false;
        item.selected = (state & LVIS_SELECTED) != 0;
        item.focused = (state & LVIS_FOCUSED) != 0;
        items->push_back(item);
    }
    return true;
}

namespace {

bool ReadTreeItem(HWND tree, const RemoteBlock& remote, int textChars, HTREEITEM handle, int depth, TreeItem* item)
{
    TVITEMW request = {};
    request.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE;
    request.hItem = handle;
    request.stateMask = TVIS_SELECTED | TVIS_EXPANDED;
    request.pszText = reinterpret_cast<LPWSTR>(remote.At(sizeof(TVITEMW)));
    request.cchTextMax = textChars;
    DWORD_PTR ok = 0;
    if (!remote.Write(0, &request, sizeof request) ||
        !SendWithTimeout(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.At(0)), &ok) || !ok) {
        return false;
    }
    TVITEMW answer = {};
    if (!remote.Read(0, &answer, sizeof answer)) return false;
    std::unique_ptr<wchar_t[]> text(new wchar_t[textChars]);
    if (!remote.Read(sizeof(TVITEMW), text.get(), textChars * sizeof(wchar_t))) return false;
    text[textChars - 1] = L'\0';
    item->depth = depth;
    item->text = text.get();
    item->selected = (answer.state & TVIS_SELECTED) != 0;
    item->expanded = (answer.state & TVIS_EXPANDED) != 0;
    return true;
}

bool ReadTreeBranch(HWND tree, const RemoteBlock& remote, int textChars, HTREEITEM first, int depth,
                    std::vector<TreeItem>* items)
{
    for (HTREEITEM at = first; at;) {
        TreeItem item;
        if (!ReadTreeItem(tree, remote, textChars, at, depth, &item)) return false;
        item.handle = at;
        items->push_back(item);
        DWORD_PTR child = 0;
        if (!SendWithTimeout(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(at), &child)) return false;
        if (child && !ReadTreeBranch(tree, remote, textChars, reinterpret_cast<HTREEITEM>(child), depth + 1, items)) {
            return false;
        }
        DWORD_PTR next = 0;
        if (!SendWithTimeout(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(at), &next)) return false;
        at = reinterpret_cast<HTREEITEM>(next);
    }
    return true;
}

}  // namespace

bool ReadTreeItems(HWND tree, std::vector<TreeItem>* items)
{
    items->clear();
    HandleOwner process(OpenOwnerProcess(tree));
    if (!process.handle) return false;
    const int textChars = 1024;
    RemoteBlock remote(process.handle, sizeof(TVITEMW) + textChars * sizeof(wchar_t));
    if (!remote.Valid()) return false;
    DWORD_PTR root = 0;
    if (!SendWithTimeout(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0, &root)) return false;
    return ReadTreeBranch(tree, remote, textChars, reinterpret_cast<HTREEITEM>(root), 0, items);
}

bool SelectTreeItem(HWND tree, const std::wstring& text)
{
    HTREEITEM item = FindTreeItem(tree, text);
    DWORD_PTR selected = 0;
    return item && SendWithTimeout(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item), &selected) &&
           selected != 0;
}

// --- Selecting list items --------------------------------------------------------------------------

bool SelectListItem(HWND list, const std::wstring& text)
{
    int index = FindListItem(list, text);
    if (index < 0) return false;
    HandleOwner process(OpenOwnerProcess(list));
    if (!process.handle) return false;
    RemoteBlock remote(process.handle, sizeof(LVITEMW));
    if (!remote.Valid()) return false;
    auto setState = [&](WPARAM index, UINT state) {
        LVITEMW request = {};
        request.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        request.state = state;
        DWORD_PTR ok = 0;
        return remote.Write(0, &request, sizeof request) &&
               SendWithTimeout(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(remote.At(0)), &ok) && ok;
    };
    return setState(static_cast<WPARAM>(-1), 0) && setState(static_cast<WPARAM>(index), LVIS_SELECTED | LVIS_FOCUSED);
}

// --- Screen ----------------------------------------------------------------------------------------

bool SaveScreenshot(const std::wstring& path)
{
    int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) return false;

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up, as a BMP file stores it
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    info.biSizeImage = stride * static_cast<DWORD>(height);

    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = memory && bitmap && bits;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof file + sizeof info;
        file.bfSize = file.bfOffBits + info.biSizeImage;
        HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = out != INVALID_HANDLE_VALUE;
        if (ok) {
            ok = WriteAll(out, &file, sizeof file) && WriteAll(out, &info, sizeof info) &&
                 WriteAll(out, bits, info.biSizeImage);
            CloseHandle(out);
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

// --- Screen positions and real mouse drags ---------------------------------------------------------

namespace {

// Asks a control of another process for a rectangle: `request` is written into the RECT's place
// first (an item handle or a LVIR_ code), as the two messages want.
template <class Request>
bool RemoteItemRect(HWND control, UINT message, WPARAM wParam, const Request& request, RECT* rect)
{
    HandleOwner process(OpenOwnerProcess(control));
    if (!process.handle) return false;
    RemoteBlock remote(process.handle, sizeof(RECT));
    RECT answer = {};
    memcpy(&answer, &request, sizeof request);
    DWORD_PTR ok = 0;
    if (!remote.Valid() || !remote.Write(0, &answer, sizeof answer) ||
        !SendWithTimeout(control, message, wParam, reinterpret_cast<LPARAM>(remote.At(0)), &ok) || !ok ||
        !remote.Read(0, &answer, sizeof answer)) {
        return false;
    }
    // Only what shows inside the control can be pointed at.
    RECT client;
    GetClientRect(control, &client);
    if (!IntersectRect(rect, &answer, &client)) return false;
    MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(rect), 2);
    return true;
}

std::string Decimal(long value)
{
    return std::to_string(value);
}

std::string MoveTo(POINT point)
{
    return " mousemove " + Decimal(point.x) + " " + Decimal(point.y);
}

bool RunXdotool(const std::string& chain, std::wstring* error)
{
    int status = -1;
    if (!RunHostCommand(chain, 30000, &status, error)) return false;
    if (status == 0) return true;
    if (error) *error = L"xdotool ended with status " + std::to_wstring(status);
    return false;
}

}  // namespace

bool ClientScreenRect(HWND window, RECT* rect)
{
    if (!GetClientRect(window, rect)) return false;
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(rect), 2);
    return true;
}

int FindListItem(HWND list, const std::wstring& text)
{
    std::vector<ListItem> items;
    if (!ReadListItems(list, &items)) return -1;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].texts.empty() && items[i].texts[0] == text) return static_cast<int>(i);
    }
    return -1;
}

bool ListItemScreenRect(HWND list, int index, RECT* rect)
{
    DWORD_PTR shown = 0;
    if (!SendWithTimeout(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE, &shown) || !shown) return false;
    return RemoteItemRect(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), static_cast<LONG>(LVIR_SELECTBOUNDS), rect);
}

HTREEITEM FindTreeItem(HWND tree, const std::wstring& text)
{
    std::vector<TreeItem> items;
    if (!ReadTreeItems(tree, &items)) return nullptr;
    for (const TreeItem& item : items) {
        if (item.text == text) return item.handle;
    }
    return nullptr;
}

bool TreeItemScreenRect(HWND tree, HTREEITEM item, RECT* rect)
{
    if (!SendWithTimeout(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item), nullptr)) return false;
    return RemoteItemRect(tree, TVM_GETITEMRECT, TRUE, item, rect);
}

POINT CentreOf(const RECT& rect)
{
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

bool RunHostCommand(const std::string& command, DWORD timeoutMs, int* status, std::wstring* error)
{
    static LONG s_runs = 0;
    std::string marker = "/tmp/tovarel-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(InterlockedIncrement(&s_runs)) + ".status";
    std::wstring windowsMarker = UnixToWindowsPath(std::wstring(marker.begin(), marker.end()));
    DeleteFileW(windowsMarker.c_str());
    // Written under another name and renamed, so that a half-written status is never read.
    std::string script = "( " + command + " ); echo $? > " + marker + ".part && mv " + marker + ".part " + marker;
    std::wstring line = L"/bin/sh -c " + QuoteArgument(std::wstring(script.begin(), script.end()));
    std::wstring startError;
    StartProcess(line, &startError);  // never a handle for a Unix program
    if (!startError.empty()) {
        if (error) *error = startError;
        return false;
    }
    DWORD start = GetTickCount();
    for (;;) {
        HANDLE file = CreateFileW(windowsMarker.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char text[16] = "";
            DWORD read = 0;
            ReadFile(file, text, sizeof text - 1, &read, nullptr);
            CloseHandle(file);
            DeleteFileW(windowsMarker.c_str());
            if (status) *status = atoi(text);
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            if (error) *error = L"the host command did not end in time";
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

bool MouseDrag(POINT from, POINT to, std::wstring* error)
{
    const int kThresholdSteps = 3;  // 4 px each: past the usual 4 px drag rectangle, not too far
    const int kGlideSteps = 12;
    double dx = to.x - from.x;
    double dy = to.y - from.y;
    double length = sqrt(dx * dx + dy * dy);
    if (length < 1) {
        dx = 1;
        dy = 0;
        length = 1;
    }
    std::string chain = "xdotool" + MoveTo(from) + " sleep 0.25 mousedown 1 sleep 0.25";
    POINT start = from;
    for (int step = 1; step <= kThresholdSteps; ++step) {
        start = {from.x + static_cast<LONG>(dx / length * 4 * step), from.y + static_cast<LONG>(dy / length * 4 * step)};
        chain += MoveTo(start) + " sleep 0.05";
    }
    for (int step = 1; step <= kGlideSteps; ++step) {
        POINT at = {start.x + (to.x - start.x) * step / kGlideSteps, start.y + (to.y - start.y) * step / kGlideSteps};
        chain += MoveTo(at) + " sleep 0.05";
    }
    // A hover with a small wiggle: the drop target sees DragOver at the final point before the drop.
    chain += " sleep 0.4" + MoveTo({to.x + 1, to.y}) + " sleep 0.1" + MoveTo(to) + " sleep 0.3 mouseup 1 sleep 0.2";
    return RunXdotool(chain, error);
}

bool MouseClick(POINT at, bool withControl, std::wstring* error)
{
    std::string chain = "xdotool" + MoveTo(at) + " sleep 0.1";
    chain += withControl ? " keydown ctrl click 1 keyup ctrl" : " click 1";
    return RunXdotool(chain + " sleep 0.2", error);
}

bool PressKeysOnDisplay(const std::string& keys, std::wstring* error)
{
    return RunXdotool("xdotool key --delay 50 " + keys + " sleep 0.2", error);
}

// --- Text ------------------------------------------------------------------------------------------

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
    return utf8;
}

}  // namespace e2e
