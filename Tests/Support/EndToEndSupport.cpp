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
