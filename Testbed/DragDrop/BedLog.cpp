#include "BedLog.h"

#include <cstdio>

#include "E2EDriver.h"

namespace bed {

namespace {

std::wstring g_logPath;

std::string Escape(const std::string& value)
{
    std::string escaped;
    for (char c : value) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || c == '%') {
            char code[4];
            snprintf(code, sizeof code, "%%%02X", byte);
            escaped += code;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Unescape(const std::string& value)
{
    std::string plain;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 && HexDigit(value[i + 2]) >= 0) {
            plain += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
            i += 2;
        } else {
            plain += value[i];
        }
    }
    return plain;
}

void AppendToLog(const std::string& line)
{
    if (g_logPath.empty()) return;
    // Opened per line, so that every line is on disk, whole, before the next event.
    HANDLE file = CreateFileW(g_logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

void SetLogPath(const std::wstring& path)
{
    g_logPath = path;
}

Log::Log(const char* event)
{
    try {
        line_ = event;
    } catch (...) {
        broken_ = true;
    }
}

Log::~Log()
{
    if (broken_) return;
    try {
        AppendToLog(line_ + "\n");
    } catch (...) {
    }
}

void Log::Add(const char* key, const std::string& value)
{
    if (broken_) return;
    try {
        line_ += '\t';
        line_ += key;
        line_ += '=';
        line_ += Escape(value);
    } catch (...) {
        broken_ = true;
    }
}

Log& Log::Text(const char* key, const std::wstring& value)
{
    try {
        Add(key, e2e::ToUtf8(value));
    } catch (...) {
        broken_ = true;
    }
    return *this;
}

Log& Log::Text(const char* key, const char* utf8)
{
    try {
        Add(key, utf8 ? utf8 : "");
    } catch (...) {
        broken_ = true;
    }
    return *this;
}

Log& Log::Number(const char* key, int64_t value)
{
    char text[32];
    snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    return Text(key, text);
}

Log& Log::Hex(const char* key, uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return Text(key, text);
}

Log& Log::Hr(const char* key, HRESULT value)
{
    try {
        Add(key, HrText(value));
    } catch (...) {
        broken_ = true;
    }
    return *this;
}

bool LogEvent::Has(const char* key) const
{
    for (const auto& field : fields) {
        if (field.first == key) return true;
    }
    return false;
}

std::string LogEvent::Field(const char* key) const
{
    for (const auto& field : fields) {
        if (field.first == key) return field.second;
    }
    return std::string();
}

LogEvent ParseLogLine(const std::string& line)
{
    LogEvent parsed;
    size_t start = 0;
    bool first = true;
    for (;;) {
        size_t tab = line.find('\t', start);
        std::string part = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        if (first) {
            parsed.event = part;
            first = false;
        } else {
            size_t equals = part.find('=');
            if (equals == std::string::npos) {
                parsed.fields.emplace_back(part, std::string());
            } else {
                parsed.fields.emplace_back(part.substr(0, equals), Unescape(part.substr(equals + 1)));
            }
        }
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return parsed;
}

std::vector<LogEvent> ReadLog(const std::wstring& path)
{
    std::vector<LogEvent> events;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return events;
    std::string content;
    char buffer[16384];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
    CloseHandle(file);
    size_t start = 0;
    for (size_t end = content.find('\n'); end != std::string::npos; end = content.find('\n', start)) {
        events.push_back(ParseLogLine(content.substr(start, end - start)));
        start = end + 1;
    }
    return events;
}

std::vector<LogEvent> ReadEvents(const std::wstring& path, const char* event)
{
    std::vector<LogEvent> found;
    for (LogEvent& line : ReadLog(path)) {
        if (line.event == event) found.push_back(std::move(line));
    }
    return found;
}

int LineOf(const std::wstring& path, const char* event, const char* key, const std::string& value)
{
    std::vector<LogEvent> lines = ReadLog(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].event == event && (!key || lines[i].Field(key) == value)) return static_cast<int>(i);
    }
    return -1;
}

bool WaitForEvents(const std::wstring& path, const char* event, size_t count, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (ReadEvents(path, event).size() < count) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

std::wstring FromUtf8(const std::string& text)
{
    if (text.empty()) return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

std::string HrText(HRESULT value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace bed
