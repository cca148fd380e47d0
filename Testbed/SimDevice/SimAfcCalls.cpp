// The Apple File Conduit calls, on a container folder of the host.
//
// Choices where a device would decide: a folder listing gives ".", "..", then the entries in an
// order unrelated to their names (see ReadFolder); creating an existing folder or file fails;
// renaming onto an existing name replaces it only when both are files, and fails otherwise;
// removing a non-empty folder or the container itself fails. A link with a target is removed or
// renamed as itself; any other path through it reaches the target.
#include "SimExports.h"
#include "SimState.h"

#include <algorithm>
#include <cinttypes>

namespace {

int HostFailure()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return SIM_E_NOT_FOUND;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return SIM_E_EXISTS;
    case ERROR_DIR_NOT_EMPTY:
        return SIM_E_NOT_EMPTY;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return SIM_E_PERMISSION;
    default:
        return SIM_E_IO;
    }
}

bool Alive(SimDevice* device, unsigned generation)
{
    return device->attached && device->generation == generation;
}

SimConnection* FindConnection(AFCConnectionRef ref, int& failure)
{
    auto connection = reinterpret_cast<SimConnection*>(ref);
    if (!Sim().connections.count(connection)) {
        failure = SIM_E_BAD_HANDLE;
        return nullptr;
    }
    if (!Alive(connection->device, connection->generation)) {
        failure = SIM_E_NOT_CONNECTED;
        return nullptr;
    }
    return connection;
}

bool PathFaulted(const std::string& normalized)
{
    const std::string& pattern = Sim().failPath;
    return !pattern.empty() && SimMatchPattern(pattern.c_str(), normalized.c_str());
}

// The normalised device path and its host path, or the failure.
int Resolve(SimConnection* connection, const char* path, std::string& normalized, std::wstring& host)
{
    if (!path) {
        return SIM_E_INVALID_ARGUMENT;
    }
    bool rawNames = connection->device->config.rawNames;
    if (!SimNormalizeDevicePath(path, normalized, rawNames)) {
        return SIM_E_PERMISSION;
    }
    if (PathFaulted(normalized)) {
        return SIM_E_INJECTED;
    }
    std::string reached = SimFollowLinks(connection->device->config, normalized);
    return SimHostPath(connection->root, reached, host, rawNames) ? SIM_OK : SIM_E_NOT_FOUND;
}

// Everything a path call needs, or the failure: a live connection and the resolved path.
struct PathCall {
    SimConnection* connection = nullptr;
    std::string normalized;
    std::wstring host;
    int failure = SIM_OK;
    PathCall(AFCConnectionRef ref, const char* path)
    {
        connection = FindConnection(ref, failure);
        if (connection) {
            failure = Resolve(connection, path, normalized, host);
        }
    }
};

bool Attributes(const std::wstring& host, WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return GetFileAttributesExW(host.c_str(), GetFileExInfoStandard, &data) != FALSE;
}

bool IsFolder(const WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string Decimal(uint64_t value)
{
    char text[32];
    snprintf(text, sizeof text, "%" PRIu64, value);
    return text;
}

// Nanoseconds since 1970, as a device gives its times ("-" before one before 1970).
std::string UnixNanoseconds(const FILETIME& time)
{
    uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const uint64_t epoch = 116444736000000000ull;
    return ticks >= epoch ? Decimal((ticks - epoch) * 100) : "-" + Decimal((epoch - ticks) * 100);
}

SimReader* NewReader(SimDevice* device, unsigned generation)
{
    auto reader = new SimReader{device, generation, {}, 0};
    Sim().readers.insert(reader);
    return reader;
}

void FillFileInfo(SimReader* reader, const PathCall& call, const WIN32_FILE_ATTRIBUTE_DATA& data)
{
    uint64_t size = IsFolder(data) ? 0 : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    bool link = call.connection->device->config.links.count(call.normalized) ||
                (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    const char* kind = link ? "S_IFLNK" : IsFolder(data) ? "S_IFDIR" : "S_IFREG";
    reader->pairs = {
        {"st_size", Decimal(size)},
        {"st_blocks", Decimal((size + 4095) / 4096 * 8)},
        {"st_nlink", IsFolder(data) ? "2" : "1"},
        {"st_ifmt", kind},
        {"st_mtime", UnixNanoseconds(data.ftLastWriteTime)},
        {"st_birthtime", UnixNanoseconds(data.ftCreationTime)},
    };
    // A device tells where a link points, as the link holds it.
    const auto& links = call.connection->device->config.links;
    auto pointing = links.find(call.normalized);
    if (pointing != links.end() && !pointing->second.empty()) {
        reader->pairs.insert(reader->pairs.begin() + 4, {"LinkTarget", pointing->second});
    }
    const auto& mtimes = call.connection->device->config.mtimes;
    auto told = mtimes.find(call.normalized);
    if (told != mtimes.end()) {
        auto mtime = std::find_if(reader->pairs.begin(), reader->pairs.end(),
                                  [](const std::pair<std::string, std::string>& pair) {
                                      return pair.first == "st_mtime";
                                  });
        if (told->second == "none") {
            reader->pairs.erase(mtime);
        } else {
            mtime->second = told->second;
        }
    }
    if (call.connection->device->config.noSize.count(call.normalized)) {
        reader->pairs.erase(std::find_if(reader->pairs.begin(), reader->pairs.end(),
                                         [](const std::pair<std::string, std::string>& pair) {
                                             return pair.first == "st_size";
                                         }));
    }
}

// A device lists a folder in its file system's own order, which has nothing to do with name
// order. Wine's FindFirstFileW sorts, so the entries are put in the order of a hash of their names
// instead: stable for the same names, and unsorted, so the program's own sorting is exercised.
uint32_t NameHash(const std::string& name)
{
    uint32_t hash = 2166136261u;
    for (unsigned char c : name) {
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

// The folder's entries on disk and the links configured in it.
int SortEntries(SimDirectory* directory)
{
    std::stable_sort(directory->names.begin() + 2, directory->names.end(),
                     [](const std::string& a, const std::string& b) { return NameHash(a) < NameHash(b); });
    return SIM_OK;
}

int ReadFolder(SimDirectory* directory, const std::wstring& host, const std::vector<std::string>& links,
               bool rawNames)
{
    directory->names = {".", ".."};
    directory->names.insert(directory->names.end(), links.begin(), links.end());
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((host + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? SortEntries(directory) : HostFailure();
    }
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        std::string utf8 = SimUtf8(name);
        if (!utf8.empty()) {
            directory->names.push_back(rawNames ? SimUnescapeName(utf8) : utf8);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return SortEntries(directory);
}

void CloseFile(std::map<uint64_t, SimFile>::iterator file)
{
    CloseHandle(file->second.handle);
    Sim().files.erase(file);
}

struct OpenMode {
    DWORD access;
    DWORD disposition;
    bool canRead;
    bool canWrite;
};

// 1 read, 2 read and write an existing file, 3 write (create or truncate), 4 read and write
// (create or truncate), 5 append (create), 6 read and append (create).
bool ModeFor(uint64_t mode, OpenMode& open)
{
    switch (mode) {
    case 1: open = {GENERIC_READ, OPEN_EXISTING, true, false}; return true;
    case 2: open = {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, true, true}; return true;
    case 3: open = {GENERIC_WRITE, CREATE_ALWAYS, false, true}; return true;
    case 4: open = {GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, true, true}; return true;
    case 5: open = {FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS, false, true}; return true;
    case 6: open = {GENERIC_READ | FILE_APPEND_DATA, OPEN_ALWAYS, true, true}; return true;
    default: return false;
    }
}

// The open file of this connection, or the failure; checks the device and the path fault.
SimFile* FindFile(AFCConnectionRef ref, AFCFileRef fileRef, int& failure)
{
    SimConnection* connection = FindConnection(ref, failure);
    if (!connection) {
        return nullptr;
    }
    auto file = Sim().files.find(fileRef);
    if (file == Sim().files.end() || file->second.connection != connection) {
        failure = SIM_E_BAD_HANDLE;
        return nullptr;
    }
    if (PathFaulted(file->second.path)) {
        failure = SIM_E_INJECTED;
        return nullptr;
    }
    return &file->second;
}

bool SameHostPath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// A link with a target moves as itself, to a name nothing has yet.
int RenameLink(const PathCall& from, const PathCall& to)
{
    std::map<std::string, std::string>& links = from.connection->device->config.links;
    WIN32_FILE_ATTRIBUTE_DATA target;
    if (links.count(to.normalized) || Attributes(to.host, target)) {
        return SIM_E_EXISTS;
    }
    links[to.normalized] = links[from.normalized];
    links.erase(from.normalized);
    return SIM_OK;
}

int Rename(const PathCall& from, const PathCall& to)
{
    WIN32_FILE_ATTRIBUTE_DATA source, target;
    if (from.normalized == "/" || to.normalized == "/") {
        return SIM_E_PERMISSION;
    }
    if (SimIsPointingLink(from.connection->device->config, from.normalized)) {
        return RenameLink(from, to);
    }
    if (to.normalized.compare(0, from.normalized.size() + 1, from.normalized + "/") == 0) {
        return SIM_E_INVALID_ARGUMENT;  // a folder into itself
    }
    if (!Attributes(from.host, source)) {
        return HostFailure();
    }
    if (from.host == to.host) {
        return SIM_OK;
    }
    DWORD flags = 0;
    if (Attributes(to.host, target) && !SameHostPath(from.host, to.host)) {
        if (IsFolder(target)) {
            return SIM_E_EXISTS;
        }
        if (IsFolder(source)) {
            return SIM_E_NOT_FOLDER;
        }
        flags = MOVEFILE_REPLACE_EXISTING;
    }
    return MoveFileExW(from.host.c_str(), to.host.c_str(), flags) ? SIM_OK : HostFailure();
}

// A call on a live connection: the checks every call makes, then `body` under the lock.
template <class Valid, class Body>
int WithConnection(const SimCall& call, AFCConnectionRef ref, Valid valid, Body body)
{
    return SimChecked(call, valid, [&]() -> int {
        int failure = SIM_OK;
        SimConnection* connection = FindConnection(ref, failure);
        return connection ? body(*connection) : failure;
    });
}

// A call on a device path of a live connection, once the path is resolved.
template <class Valid, class Body>
int WithPath(const SimCall& call, AFCConnectionRef ref, const char* path, Valid valid, Body body)
{
    return SimChecked(call, valid, [&]() -> int {
        PathCall target(ref, path);
        return target.failure == SIM_OK ? body(target) : target.failure;
    });
}

template <class Body> int WithPath(const SimCall& call, AFCConnectionRef ref, const char* path, Body body)
{
    return WithPath(call, ref, path, SimAnyArguments, body);
}

// A call on an open file of a live connection.
template <class Valid, class Body>
int WithFile(const SimCall& call, AFCConnectionRef ref, AFCFileRef fileRef, Valid valid, Body body)
{
    return SimChecked(call, valid, [&]() -> int {
        int failure = SIM_OK;
        SimFile* file = FindFile(ref, fileRef, failure);
        return file ? body(*file) : failure;
    });
}

// A close call: `close` frees the handle under the lock and answers SIM_E_BAD_HANDLE when it is
// not one, else ClosedResult. An injected fault still closes the handle.
template <class Close> int WithClose(const SimCall& call, Close close)
{
    return SimGuard([&]() -> int {
        SimLock lock;
        int result = close();
        return result != SIM_E_BAD_HANDLE && call.Injected() ? SIM_E_INJECTED : result;
    });
}

// What closing a handle answers: it is gone either way, but a device that left is reported.
int ClosedResult(SimDevice* device, unsigned generation)
{
    return Alive(device, generation) ? SIM_OK : SIM_E_NOT_CONNECTED;
}

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl AFCConnectionOpen(AMServiceRef service, uint32_t timeout,
                                                    AFCConnectionRef* connection)
{
    SimCall call("AFCConnectionOpen", "%p, %u, %p", service, timeout, static_cast<void*>(connection));
    SimClear(connection);
    auto valid = [&] { return connection != nullptr; };
    return call.Result(SimChecked(call, valid, [&]() -> int {
        if (!Sim().services.count(service)) {
            return SIM_E_BAD_HANDLE;
        }
        auto record = static_cast<SimService*>(service);
        if (!Alive(record->device, record->generation)) {
            return SIM_E_NOT_CONNECTED;
        }
        auto opened = new SimConnection{record->device, record->generation, record->root};
        Sim().connections.insert(opened);
        *connection = reinterpret_cast<AFCConnectionRef>(opened);
        call.Note(" -> %p", static_cast<void*>(opened));
        return SIM_OK;
    }));
}

// Closes the connection's folders and files with it.
__declspec(dllexport) int __cdecl AFCConnectionClose(AFCConnectionRef ref)
{
    SimConnectionCall use(ref, "AFCConnectionClose");
    SimCall call("AFCConnectionClose", "%p", static_cast<void*>(ref));
    return call.Result(WithClose(call, [&]() -> int {
        SimState& state = Sim();
        auto connection = reinterpret_cast<SimConnection*>(ref);
        if (!state.connections.count(connection)) {
            return SIM_E_BAD_HANDLE;
        }
        for (auto it = state.directories.begin(); it != state.directories.end();) {
            if ((*it)->connection == connection) {
                delete *it;
                it = state.directories.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = state.files.begin(); it != state.files.end();) {
            auto current = it++;
            if (current->second.connection == connection) {
                CloseFile(current);
            }
        }
        int result = ClosedResult(connection->device, connection->generation);
        state.connections.erase(connection);
        delete connection;
        return result;
    }));
}

// "Model", "FSTotalBytes", "FSFreeBytes" (each unless configured away) and "FSBlockSize".
__declspec(dllexport) int __cdecl AFCDeviceInfoOpen(AFCConnectionRef ref, AFCKeyValueReaderRef* reader)
{
    SimConnectionCall use(ref, "AFCDeviceInfoOpen");
    SimCall call("AFCDeviceInfoOpen", "%p, %p", static_cast<void*>(ref), static_cast<void*>(reader));
    SimClear(reader);
    auto valid = [&] { return reader != nullptr; };
    return call.Result(WithConnection(call, ref, valid, [&](SimConnection& connection) {
        const SimDeviceConfig& config = connection.device->config;
        SimReader* opened = NewReader(connection.device, connection.generation);
        opened->pairs.emplace_back("Model", config.model);
        if (config.hasTotal) {
            opened->pairs.emplace_back("FSTotalBytes", Decimal(config.totalBytes));
        }
        if (config.hasFree) {
            opened->pairs.emplace_back("FSFreeBytes", Decimal(config.freeBytes));
        }
        opened->pairs.emplace_back("FSBlockSize", "4096");
        *reader = reinterpret_cast<AFCKeyValueReaderRef>(opened);
        return SIM_OK;
    }));
}

__declspec(dllexport) int __cdecl AFCFileInfoOpen(AFCConnectionRef ref, const char* path, AFCKeyValueReaderRef* reader)
{
    SimConnectionCall use(ref, "AFCFileInfoOpen");
    SimCall call("AFCFileInfoOpen", "%p, %s, %p", static_cast<void*>(ref), SimQuote(path).c_str(),
                 static_cast<void*>(reader));
    SimClear(reader);
    auto valid = [&] { return reader != nullptr; };
    return call.Result(WithPath(call, ref, path, valid, [&](const PathCall& target) -> int {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!Attributes(target.host, data)) {
            return HostFailure();
        }
        SimReader* opened = NewReader(target.connection->device, target.connection->generation);
        FillFileInfo(opened, target, data);
        *reader = reinterpret_cast<AFCKeyValueReaderRef>(opened);
        return SIM_OK;
    }));
}

// The strings handed out belong to the reader and stay valid until it is closed. At the end the
// key and the value are null.
__declspec(dllexport) int __cdecl AFCKeyValueRead(AFCKeyValueReaderRef ref, char** key, char** value)
{
    SimCall call("AFCKeyValueRead", "%p, %p, %p", static_cast<void*>(ref), static_cast<void*>(key),
                 static_cast<void*>(value));
    SimClear(key);
    SimClear(value);
    auto valid = [&] { return key && value; };
    return call.Result(SimChecked(call, valid, [&]() -> int {
        auto reader = reinterpret_cast<SimReader*>(ref);
        if (!Sim().readers.count(reader)) {
            return SIM_E_BAD_HANDLE;
        }
        if (!Alive(reader->device, reader->generation)) {
            return SIM_E_NOT_CONNECTED;
        }
        if (reader->next < reader->pairs.size()) {
            auto& pair = reader->pairs[reader->next++];
            *key = &pair.first[0];
            *value = &pair.second[0];
            call.Note(" -> %s: %s", *key, *value);
        }
        return SIM_OK;
    }));
}

__declspec(dllexport) int __cdecl AFCKeyValueClose(AFCKeyValueReaderRef ref)
{
    SimCall call("AFCKeyValueClose", "%p", static_cast<void*>(ref));
    return call.Result(WithClose(call, [&]() -> int {
        auto reader = reinterpret_cast<SimReader*>(ref);
        if (!Sim().readers.count(reader)) {
            return SIM_E_BAD_HANDLE;
        }
        int result = ClosedResult(reader->device, reader->generation);
        Sim().readers.erase(reader);
        delete reader;
        return result;
    }));
}

__declspec(dllexport) int __cdecl AFCDirectoryOpen(AFCConnectionRef ref, const char* path, AFCDirectoryRef* directory)
{
    SimConnectionCall use(ref, "AFCDirectoryOpen");
    SimCall call("AFCDirectoryOpen", "%p, %s, %p", static_cast<void*>(ref), SimQuote(path).c_str(),
                 static_cast<void*>(directory));
    SimClear(directory);
    auto valid = [&] { return directory != nullptr; };
    return call.Result(WithPath(call, ref, path, valid, [&](const PathCall& target) -> int {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!Attributes(target.host, data)) {
            return HostFailure();
        }
        if (!IsFolder(data)) {
            return SIM_E_NOT_FOLDER;
        }
        auto opened = new SimDirectory{target.connection, target.normalized, {}, 0, {}};
        const SimDeviceConfig& config = target.connection->device->config;
        // A folder reached through a link holds the links of the folder it is.
        std::vector<std::string> links = SimLinkNamesIn(config, SimFollowLinks(config, target.normalized));
        int result = ReadFolder(opened, target.host, links, config.rawNames);
        if (result != SIM_OK) {
            delete opened;
            return result;
        }
        Sim().directories.insert(opened);
        *directory = reinterpret_cast<AFCDirectoryRef>(opened);
        return SIM_OK;
    }));
}

// The name stays valid until the next read or the close; null at the end.
__declspec(dllexport) int __cdecl AFCDirectoryRead(AFCConnectionRef ref, AFCDirectoryRef handle, char** name)
{
    SimConnectionCall use(ref, "AFCDirectoryRead");
    SimCall call("AFCDirectoryRead", "%p, %p, %p", static_cast<void*>(ref), static_cast<void*>(handle),
                 static_cast<void*>(name));
    SimClear(name);
    auto valid = [&] { return name != nullptr; };
    return call.Result(WithConnection(call, ref, valid, [&](SimConnection& connection) {
        auto directory = reinterpret_cast<SimDirectory*>(handle);
        if (!Sim().directories.count(directory) || directory->connection != &connection) {
            return SIM_E_BAD_HANDLE;
        }
        if (PathFaulted(directory->path)) {
            return SIM_E_INJECTED;
        }
        if (directory->next < directory->names.size()) {
            directory->current = directory->names[directory->next++];
            *name = &directory->current[0];
            call.Note(" -> \"%s\"", *name);
        }
        return SIM_OK;
    }));
}

__declspec(dllexport) int __cdecl AFCDirectoryClose(AFCConnectionRef ref, AFCDirectoryRef handle)
{
    SimConnectionCall use(ref, "AFCDirectoryClose");
    SimCall call("AFCDirectoryClose", "%p, %p", static_cast<void*>(ref), static_cast<void*>(handle));
    return call.Result(WithClose(call, [&]() -> int {
        auto directory = reinterpret_cast<SimDirectory*>(handle);
        auto connection = reinterpret_cast<SimConnection*>(ref);
        if (!Sim().directories.count(directory) || directory->connection != connection) {
            return SIM_E_BAD_HANDLE;
        }
        int result = ClosedResult(connection->device, connection->generation);
        Sim().directories.erase(directory);
        delete directory;
        return result;
    }));
}

__declspec(dllexport) int __cdecl AFCDirectoryCreate(AFCConnectionRef ref, const char* path)
{
    SimConnectionCall use(ref, "AFCDirectoryCreate");
    SimCall call("AFCDirectoryCreate", "%p, %s", static_cast<void*>(ref), SimQuote(path).c_str());
    return call.Result(WithPath(call, ref, path, [](const PathCall& target) {
        return CreateDirectoryW(target.host.c_str(), nullptr) ? SIM_OK : HostFailure();
    }));
}

__declspec(dllexport) int __cdecl AFCRemovePath(AFCConnectionRef ref, const char* path)
{
    SimConnectionCall use(ref, "AFCRemovePath");
    SimCall call("AFCRemovePath", "%p, %s", static_cast<void*>(ref), SimQuote(path).c_str());
    return call.Result(WithPath(call, ref, path, [](const PathCall& target) -> int {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (target.normalized == "/") {
            return SIM_E_PERMISSION;
        }
        SimDeviceConfig& config = target.connection->device->config;
        if (SimIsPointingLink(config, target.normalized)) {
            config.links.erase(target.normalized);  // the link only, never what it points to
            return SIM_OK;
        }
        if (!Attributes(target.host, data)) {
            return HostFailure();
        }
        if (IsFolder(data) && !SimLinkNamesIn(config, target.normalized).empty()) {
            return SIM_E_NOT_EMPTY;
        }
        BOOL removed = IsFolder(data) ? RemoveDirectoryW(target.host.c_str()) : DeleteFileW(target.host.c_str());
        if (!removed) {
            return HostFailure();
        }
        config.links.erase(target.normalized);  // a link on disk goes with its entry
        return SIM_OK;
    }));
}

__declspec(dllexport) int __cdecl AFCRenamePath(AFCConnectionRef ref, const char* oldPath, const char* newPath)
{
    SimConnectionCall use(ref, "AFCRenamePath");
    SimCall call("AFCRenamePath", "%p, %s, %s", static_cast<void*>(ref), SimQuote(oldPath).c_str(),
                 SimQuote(newPath).c_str());
    return call.Result(WithPath(call, ref, oldPath, [&](const PathCall& from) {
        PathCall to(ref, newPath);
        return to.failure == SIM_OK ? Rename(from, to) : to.failure;
    }));
}

__declspec(dllexport) int __cdecl AFCFileRefOpen(AFCConnectionRef ref, const char* path, uint64_t mode,
                                                 AFCFileRef* fileRef)
{
    SimConnectionCall use(ref, "AFCFileRefOpen");
    SimCall call("AFCFileRefOpen", "%p, %s, %" PRIu64 ", %p", static_cast<void*>(ref), SimQuote(path).c_str(), mode,
                 static_cast<void*>(fileRef));
    SimClear(fileRef);
    OpenMode open;
    auto valid = [&] { return fileRef && ModeFor(mode, open); };
    return call.Result(WithPath(call, ref, path, valid, [&](const PathCall& target) -> int {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (Attributes(target.host, data) && IsFolder(data)) {
            return SIM_E_IS_FOLDER;
        }
        // A device lets a file be removed or renamed while it is open.
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE handle = CreateFileW(target.host.c_str(), open.access, share, nullptr, open.disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return HostFailure();
        }
        SimState& state = Sim();
        uint64_t opened = state.nextFileRef++;
        state.files[opened] = SimFile{target.connection, handle, target.normalized, open.canRead, open.canWrite};
        *fileRef = opened;
        call.Note(" -> %" PRIu64, opened);
        return SIM_OK;
    }));
}

// Reads at most the room given; 0 bytes at the end of the file.
__declspec(dllexport) int __cdecl AFCFileRefRead(AFCConnectionRef ref, AFCFileRef fileRef, void* buffer,
                                                 AFCByteCount* length)
{
    SimConnectionCall use(ref, "AFCFileRefRead");
    SimCall call("AFCFileRefRead", "%p, %" PRIu64 ", %p, %" PRIu64, static_cast<void*>(ref), fileRef, buffer,
                 static_cast<uint64_t>(length ? *length : 0));
    // One host read at a time: what does not fit a DWORD is left for the next call.
    DWORD room = length ? static_cast<DWORD>(std::min<AFCByteCount>(*length, MAXDWORD)) : 0;
    SimClear(length);
    DWORD got = 0;
    auto valid = [&] { return length && (buffer || room == 0); };
    int result = WithFile(call, ref, fileRef, valid, [&](SimFile& file) -> int {
        if (!file.canRead) {
            return SIM_E_PERMISSION;
        }
        if (room > 0 && !ReadFile(file.handle, buffer, room, &got, nullptr)) {
            return HostFailure();
        }
        *length = got;
        call.Note(" -> %lu bytes", got);
        return SIM_OK;
    });
    SimThrottle(got);
    return call.Result(result);
}

// Writes the whole buffer.
__declspec(dllexport) int __cdecl AFCFileRefWrite(AFCConnectionRef ref, AFCFileRef fileRef, const void* buffer,
                                                  uint32_t length)
{
    SimConnectionCall use(ref, "AFCFileRefWrite");
    SimCall call("AFCFileRefWrite", "%p, %" PRIu64 ", %p, %u", static_cast<void*>(ref), fileRef, buffer, length);
    auto valid = [&] { return buffer || length == 0; };
    int result = WithFile(call, ref, fileRef, valid, [&](SimFile& file) -> int {
        if (!file.canWrite) {
            return SIM_E_PERMISSION;
        }
        auto bytes = static_cast<const char*>(buffer);
        for (uint32_t done = 0; done < length;) {
            DWORD wrote = 0;
            if (!WriteFile(file.handle, bytes + done, length - done, &wrote, nullptr) || wrote == 0) {
                return HostFailure();
            }
            done += wrote;
        }
        return SIM_OK;
    });
    SimThrottle(result == SIM_OK ? length : 0);
    return call.Result(result);
}

__declspec(dllexport) int __cdecl AFCFileRefClose(AFCConnectionRef ref, AFCFileRef fileRef)
{
    SimConnectionCall use(ref, "AFCFileRefClose");
    SimCall call("AFCFileRefClose", "%p, %" PRIu64, static_cast<void*>(ref), fileRef);
    return call.Result(WithClose(call, [&]() -> int {
        auto connection = reinterpret_cast<SimConnection*>(ref);
        auto file = Sim().files.find(fileRef);
        if (file == Sim().files.end() || file->second.connection != connection) {
            return SIM_E_BAD_HANDLE;
        }
        int result = ClosedResult(connection->device, connection->generation);
        CloseFile(file);
        return result;
    }));
}

}  // extern "C"
