#include "BedProgram.h"

#include <ole2.h>
#include <shellapi.h>

#include "BedLog.h"
#include "E2EDriver.h"

namespace bed {

namespace {

std::wstring g_caption;

bool IsFlag(const ProgramInfo& info, const std::wstring& name)
{
    for (const wchar_t* flag : info.flags) {
        if (name == flag) return true;
    }
    return false;
}

bool ParseArguments(const ProgramInfo& info, Arguments* arguments, std::wstring* error)
{
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) {
        *error = L"the command line cannot be read";
        return false;
    }
    bool ok = true;
    for (int i = 1; i < count && ok; ++i) {
        std::wstring word = argv[i];
        if (word.compare(0, 2, L"--") != 0) {
            arguments->words.push_back(word);
        } else if (IsFlag(info, word)) {
            arguments->options.emplace_back(word, std::wstring());
        } else if (i + 1 < count) {
            arguments->options.emplace_back(word, argv[++i]);
        } else {
            *error = word + L" needs a value";
            ok = false;
        }
    }
    LocalFree(argv);
    return ok;
}

bool ParsePlace(const std::wstring& text, RECT* place)
{
    int values[4];
    if (swscanf(text.c_str(), L"%d,%d,%d,%d", &values[0], &values[1], &values[2], &values[3]) != 4) return false;
    if (values[2] <= 0 || values[3] <= 0) return false;
    *place = {values[0], values[1], values[2], values[3]};
    return true;
}

void PaintCaption(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    InflateRect(&client, -8, -8);
    DrawTextW(dc, g_caption.c_str(), -1, &client, DT_LEFT | DT_TOP | DT_WORDBREAK);
    EndPaint(window, &paint);
}

}  // namespace

bool Arguments::Has(const wchar_t* name) const
{
    for (const auto& option : options) {
        if (option.first == name) return true;
    }
    return false;
}

std::wstring Arguments::Value(const wchar_t* name, const std::wstring& fallback) const
{
    for (const auto& option : options) {
        if (option.first == name) return option.second;
    }
    return fallback;
}

std::vector<std::wstring> Arguments::Paths() const
{
    std::vector<std::wstring> paths;
    for (const std::wstring& word : words) paths.push_back(LocalPath(word));
    return paths;
}

std::wstring LocalPath(const std::wstring& path)
{
    return e2e::UnixToWindowsPath(path);
}

HWND StartProgram(const ProgramInfo& info, WNDPROC procedure, Arguments* arguments)
{
    std::wstring error;
    bool parsed = ParseArguments(info, arguments, &error);
    if (arguments->Has(L"--log")) SetLogPath(LocalPath(arguments->Value(L"--log")));
    RECT place = info.defaultPlace;
    if (parsed && arguments->Has(L"--place") && !ParsePlace(arguments->Value(L"--place"), &place)) {
        error = L"--place wants X,Y,WIDTH,HEIGHT";
        parsed = false;
    }
    if (!parsed) {
        Log("usage-error").Text("program", info.name).Text("message", error);
        return nullptr;
    }
    std::wstring title = arguments->Value(L"--title", info.defaultTitle);
    Log("start").Text("program", info.name).Number("pid", GetCurrentProcessId()).Text("title", title);
    HRESULT hr = OleInitialize(nullptr);
    if (FAILED(hr)) {
        Log("ole-initialize").Hr("hr", hr);
        return nullptr;
    }
    g_caption = info.caption;

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = info.name;
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, info.name, title.c_str(), WS_OVERLAPPEDWINDOW, place.left, place.top,
                                  place.right, place.bottom, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) {
        Log("create-window").Number("error", GetLastError());
        OleUninitialize();
    }
    return window;
}

LRESULT DefaultWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        PaintCaption(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

int RunProgram(HWND window)
{
    if (window && IsWindow(window)) ShowWindow(window, SW_SHOW);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    Log("exit");
    OleUninitialize();
    return 0;
}

int EndWithUsageError(HWND window, const char* message)
{
    Log("usage-error").Text("message", message);
    DestroyWindow(window);
    RunProgram(nullptr);
    return 2;
}

}  // namespace bed
