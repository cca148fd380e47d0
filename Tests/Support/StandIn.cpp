#include "StandIn.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "RegistryGuard.h"

namespace {

constexpr DWORD kStartMs = 30000;

}  // namespace

StandIn::StandIn(const wchar_t* program, const std::wstring& title, const std::wstring& place, const std::wstring& log,
                 const std::vector<std::wstring>& arguments)
    : log_(log)
{
    std::wstring line = e2e::QuoteArgument(WinePathFromEnvironment("TOVAREL_BUILD_DIR") + L"\\e2e\\" + program + L".exe");
    line += L" --log " + e2e::QuoteArgument(log) + L" --title " + e2e::QuoteArgument(title) + L" --place " + place;
    for (const std::wstring& argument : arguments) line += L" " + e2e::QuoteArgument(argument);
    process_ = e2e::StartProcess(line);
    if (process_.Valid()) window_ = e2e::WaitForWindow(title, kStartMs, process_.Id());
}

POINT StandIn::Centre() const
{
    RECT client = {};
    e2e::ClientScreenRect(window_, &client);
    return e2e::CentreOf(client);
}

bool StandIn::Close()
{
    if (!process_.Valid()) return false;
    if (window_) e2e::PostCloseMessage(window_);
    DWORD code = 1;
    bool ended = process_.WaitForExit(10000, &code);
    process_.Terminate();
    process_ = e2e::Process();
    return ended && code == 0;
}

void StandIn::Kill()
{
    process_.Terminate();
    process_ = e2e::Process();
    window_ = nullptr;
}

void TimedMouseDrag(POINT from, POINT to)
{
    DWORD start = GetTickCount();
    std::wstring error;
    ASSERT_TRUE(e2e::MouseDrag(from, to, &error)) << e2e::ToUtf8(error);
    std::printf("[   drag   ] %lu ms from (%ld,%ld) to (%ld,%ld)\n", GetTickCount() - start, from.x, from.y, to.x, to.y);
}
