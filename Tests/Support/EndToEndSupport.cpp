#include "EndToEndSupport.h"

bool NoCrashWindow()
{
    return e2e::FindTopWindowsContaining(L"Program Error").empty();
}

std::vector<std::wstring> ListTexts(HWND list, std::vector<int>* selected)
{
    std::vector<e2e::ListItem> items;
    std::vector<std::wstring> texts;
    if (!e2e::ReadListItems(list, &items)) return {L"(unreadable)"};
    for (size_t i = 0; i < items.size(); ++i) {
        texts.push_back(items[i].texts.empty() ? L"" : items[i].texts[0]);
        if (selected && items[i].selected) selected->push_back(static_cast<int>(i));
    }
    return texts;
}

bool PollUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
}

std::string ProgramRun::NoWindowReason() const
{
    DWORD code = 0;
    if (Ended(0, &code)) return "the program ended with code " + std::to_string(code);
    return "the program runs; its windows:" + ShownWindows(Id());
}

std::string ShownWindows(DWORD processId)
{
    std::string shown;
    for (const e2e::TopWindow& top : e2e::ListTopWindows()) {
        if (top.processId == processId) {
            shown += " \"" + e2e::ToUtf8(top.title) + "\" " + e2e::ToUtf8(e2e::MessageBoxText(top.window));
        }
    }
    return shown;
}
