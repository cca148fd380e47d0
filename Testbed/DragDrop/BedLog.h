// The event logs of the drag-and-drop stand-ins: one line per event, UTF-8, appended and flushed as
// it happens, so a test can read a log while its program still runs.
//
// A line is the event's name, then fields, all separated by tabs:
//   event<TAB>key=value<TAB>key=value...
// Keys are lower-case words with "-". In a value, characters below 0x20 and "%" are written as
// %XX (two upper-case hex digits), so a value never holds a tab or a line break. HRESULTs are
// written as 0x and 8 hex digits, flags and attributes as 0x and hex digits, counts and sizes as
// decimal numbers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bed {

// Every line of this process goes to this file (created when missing). Without a path, nothing is
// written.
void SetLogPath(const std::wstring& path);

// One event line, written to the log when the object goes out of scope:
//   bed::Log("get-data").Text("format", name).Hr("hr", hr);
// Never throws: a line that cannot be built is dropped.
class Log {
public:
    explicit Log(const char* event);
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    Log& Text(const char* key, const std::wstring& value);
    Log& Text(const char* key, const char* utf8);
    Log& Number(const char* key, int64_t value);
    Log& Hex(const char* key, uint32_t value);  // 0x and at least one hex digit
    Log& Hr(const char* key, HRESULT value);     // 0x and exactly 8 hex digits

private:
    void Add(const char* key, const std::string& value);

    std::string line_;
    bool broken_ = false;
};

// A line read back from a log.
struct LogEvent {
    std::string event;
    std::vector<std::pair<std::string, std::string>> fields;  // values unescaped

    bool Has(const char* key) const;
    // The value of the first field with this key, or "" when there is none.
    std::string Field(const char* key) const;
};

// Every complete line of the log (a line still being written is left out); empty when the file
// cannot be read.
std::vector<LogEvent> ReadLog(const std::wstring& path);
LogEvent ParseLogLine(const std::string& line);
// The lines of the log with this event name, in order.
std::vector<LogEvent> ReadEvents(const std::wstring& path, const char* event);
// The position among all lines of the first line with this event (and this field value, when a
// key is given), or -1.
int LineOf(const std::wstring& path, const char* event, const char* key = nullptr, const std::string& value = "");
// Polls the log until it holds at least `count` lines with this event; false when the time ran out.
bool WaitForEvents(const std::wstring& path, const char* event, size_t count, DWORD timeoutMs);

std::wstring FromUtf8(const std::string& text);
std::string HrText(HRESULT value);

}  // namespace bed
