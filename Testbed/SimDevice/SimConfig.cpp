// Reading the configuration text and making it current.
#include "SimState.h"

#include <cerrno>
#include <cstdlib>
#include <new>

namespace {

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Splits "word rest of line" into the word and the trimmed rest.
void SplitWord(const std::string& line, std::string& word, std::string& rest)
{
    size_t end = line.find_first_of(" \t");
    word = line.substr(0, end);
    rest = end == std::string::npos ? std::string() : Trim(line.substr(end));
}

bool ParseUnsigned(const std::string& text, uint64_t& value)
{
    if (text.empty() || text[0] == '-') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long long parsed = strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') {
        return false;
    }
    value = parsed;
    return true;
}

bool ParseFlag(const std::string& text, bool& flag)
{
    if (text != "0" && text != "1") {
        return false;
    }
    flag = text == "1";
    return true;
}

bool ParseSize(const std::string& text, bool& has, uint64_t& value)
{
    if (text == "none") {
        has = false;
        return true;
    }
    has = true;
    return ParseUnsigned(text, value);
}

bool ParseDeviceLine(const std::string& word, const std::string& rest, SimDeviceConfig& device)
{
    if (word == "name") {
        device.hasName = true;
        device.name = rest;
        return true;
    }
    if (word == "model") {
        device.model = rest;
        return !rest.empty();
    }
    if (word == "attached") {
        return ParseFlag(rest, device.attached);
    }
    if (word == "paired") {
        return ParseFlag(rest, device.paired);
    }
    if (word == "lookupfail") {
        return ParseFlag(rest, device.lookupFails);
    }
    if (word == "validate") {
        char* end = nullptr;
        long long code = strtoll(rest.c_str(), &end, 0);
        device.validate = static_cast<int>(code);
        return !rest.empty() && *end == '\0';
    }
    if (word == "total") {
        return ParseSize(rest, device.hasTotal, device.totalBytes);
    }
    if (word == "free") {
        return ParseSize(rest, device.hasFree, device.freeBytes);
    }
    if (word == "storage") {
        device.storage = SimHostFolder(rest);
        return !device.storage.empty();
    }
    if (word == "app") {
        SimApp app;
        std::string folder;
        SplitWord(rest, app.identifier, folder);
        app.folder = SimHostFolder(folder);
        device.apps.push_back(app);
        return !app.identifier.empty() && !app.folder.empty();
    }
    if (word == "link") {
        // "link <path>" or "link <path> -> <target>"
        size_t arrow = rest.find(" -> ");
        std::string path = arrow == std::string::npos ? rest : Trim(rest.substr(0, arrow));
        std::string normalized, target;
        if (!SimNormalizeDevicePath(path.c_str(), normalized, true) || normalized == "/") {
            return false;
        }
        if (arrow != std::string::npos &&
            (!SimNormalizeDevicePath(Trim(rest.substr(arrow + 4)).c_str(), target, true) || target == normalized)) {
            return false;
        }
        device.links[normalized] = target;
        return true;
    }
    if (word == "nosize") {
        std::string normalized;
        if (!SimNormalizeDevicePath(rest.c_str(), normalized, true)) {
            return false;
        }
        device.noSize.insert(normalized);
        return true;
    }
    if (word == "mtime") {
        // "mtime <text> <path>": any text without blanks, even one that is no time
        std::string text, path, normalized;
        SplitWord(rest, text, path);
        if (text.empty() || !SimNormalizeDevicePath(path.c_str(), normalized, true)) {
            return false;
        }
        device.mtimes[normalized] = text;
        return true;
    }
    if (word == "rawnames") {
        return ParseFlag(rest, device.rawNames);
    }
    return false;
}

bool ParseGlobalLine(const std::string& word, const std::string& rest, SimConfig& config)
{
    uint64_t number = 0;
    if (word == "fail") {
        std::string function, count;
        SplitWord(rest, function, count);
        if (function.empty() || !ParseUnsigned(count, number) || number > 0xFFFFFFFFull) {
            return false;
        }
        config.faults.emplace_back(function, static_cast<unsigned>(number));
        return true;
    }
    if (word == "failany") {
        if (!ParseUnsigned(rest, number) || number > 0xFFFFFFFFull) {
            return false;
        }
        config.failAny = static_cast<unsigned>(number);
        return true;
    }
    if (word == "failpath") {
        config.failPath = rest;
        return true;
    }
    if (word == "latency" || word == "bandwidth") {
        if (!ParseUnsigned(rest, number) || number > 0xFFFFFFFFull) {
            return false;
        }
        (word == "latency" ? config.latencyMicroseconds : config.bytesPerSecond) = static_cast<unsigned>(number);
        return true;
    }
    if (word == "trace") {
        config.trace = SimHostFolder(rest);
        return !config.trace.empty();
    }
    return false;
}

}  // namespace

bool SimParseConfig(const std::string& text, SimConfig& config, std::string& error)
{
    config = SimConfig();
    SimDeviceConfig* device = nullptr;
    size_t start = 0;
    for (int lineNumber = 1; start <= text.size(); ++lineNumber) {
        size_t end = text.find('\n', start);
        std::string line = Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? text.size() + 1 : end + 1;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::string word, rest;
        SplitWord(line, word, rest);
        bool ok;
        if (word == "device") {
            ok = !rest.empty();
            for (const SimDeviceConfig& other : config.devices) {
                ok = ok && other.uniqueId != rest;
            }
            config.devices.emplace_back();
            device = &config.devices.back();
            device->uniqueId = rest;
        } else if (ParseGlobalLine(word, rest, config)) {
            ok = true;
        } else {
            ok = device && ParseDeviceLine(word, rest, *device);
        }
        if (!ok) {
            error = "line " + std::to_string(lineNumber) + ": " + line;
            return false;
        }
    }
    return true;
}

void SimApplyConfig(const SimConfig& config)
{
    SimState& state = Sim();
    state.faults.clear();
    for (const auto& fault : config.faults) {
        if (fault.second != 0) {
            state.faults[fault.first].nth = fault.second;
        }
    }
    state.failAnySeen = 0;
    state.failAnyNth = config.failAny;
    state.failPath = config.failPath;
    state.latencyMicroseconds = config.latencyMicroseconds;
    state.bytesPerSecond = config.bytesPerSecond;
    SimSetTraceFile(config.trace);

    std::set<SimDevice*> present;
    for (const SimDeviceConfig& wanted : config.devices) {
        SimDevice* device = SimDeviceById(wanted.uniqueId);
        if (!device) {
            device = new SimDevice;
            device->magic = 0x53494D44;  // "SIMD"
            state.devices[wanted.uniqueId] = device;
            state.deviceList.push_back(device);
        }
        device->config = wanted;
        device->configured = true;
        present.insert(device);
        SimSetAttached(device, wanted.attached);
    }
    for (SimDevice* device : state.deviceList) {
        if (!present.count(device)) {
            device->configured = false;
            SimSetAttached(device, false);
        }
    }
}
