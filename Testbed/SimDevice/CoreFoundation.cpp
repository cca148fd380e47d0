// The simulated CoreFoundation: reference-counted strings and dictionaries, shared by the program and
// the simulated mobile device library.
#include "SimCF.h"

#include <windows.h>

#include <cstring>

#include <map>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

const uint32_t kObjectMagic = 0x43464F42;  // "CFOB"

enum ObjectKind : uint32_t { KIND_STRING = 1, KIND_DICTIONARY = 2 };

struct CfObject {
    uint32_t magic = kObjectMagic;
    uint32_t kind;
    long references = 1;
    bool constant = false;
    explicit CfObject(uint32_t k) : kind(k) {}
    virtual ~CfObject() { magic = 0; }
};

struct CfString : CfObject {
    std::u16string text;
    CfString() : CfObject(KIND_STRING) {}
};

struct CfDictionary : CfObject {
    bool keysByContent = false;
    bool retainsKeys = false;
    bool retainsValues = false;
    std::vector<std::pair<const void*, const void*>> entries;
    CfDictionary() : CfObject(KIND_DICTIONARY) {}
};

// One lock for every object: calls are short and never call out.
CRITICAL_SECTION g_lock;
std::unordered_set<const void*>* g_live;            // every live object, constant strings included
std::map<std::string, CfString*>* g_constants;      // never freed
unsigned g_badCalls;

struct Locked {
    Locked() { EnterCriticalSection(&g_lock); }
    ~Locked() { LeaveCriticalSection(&g_lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

CfObject* Find(const void* pointer, uint32_t kind)
{
    if (!pointer || !g_live->count(pointer)) {
        return nullptr;
    }
    auto object = static_cast<CfObject*>(const_cast<void*>(pointer));
    return object->magic == kObjectMagic && (kind == 0 || object->kind == kind) ? object : nullptr;
}

CfString* FindString(const void* pointer)
{
    return static_cast<CfString*>(Find(pointer, KIND_STRING));
}

CfDictionary* FindDictionary(const void* pointer)
{
    return static_cast<CfDictionary*>(Find(pointer, KIND_DICTIONARY));
}

template <class T> T Bad(T result)
{
    ++g_badCalls;
    return result;
}

void Retain(const void* pointer)
{
    if (CfObject* object = Find(pointer, 0)) {
        ++object->references;
    }
}

void Release(const void* pointer);

void Destroy(CfObject* object)
{
    g_live->erase(object);
    if (object->kind == KIND_DICTIONARY) {
        auto dictionary = static_cast<CfDictionary*>(object);
        for (auto& entry : dictionary->entries) {
            if (dictionary->retainsKeys) {
                Release(entry.first);
            }
            if (dictionary->retainsValues) {
                Release(entry.second);
            }
        }
    }
    delete object;
}

void Release(const void* pointer)
{
    CfObject* object = Find(pointer, 0);
    if (!object) {
        ++g_badCalls;
        return;
    }
    if (object->constant) {
        return;
    }
    if (--object->references == 0) {
        Destroy(object);
    }
}

std::u16string FromUtf8(const char* text)
{
    int length = static_cast<int>(strlen(text));
    if (length == 0) {
        return std::u16string();
    }
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    std::u16string result;
    if (units > 0) {
        result.resize(static_cast<size_t>(units));
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, reinterpret_cast<wchar_t*>(&result[0]), units);
    } else {
        for (const char* p = text; *p; ++p) {
            result.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
        }
    }
    return result;
}

std::string ToUtf8(const std::u16string& text)
{
    if (text.empty()) {
        return std::string();
    }
    auto wide = reinterpret_cast<const wchar_t*>(text.data());
    int length = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide, length, &result[0], bytes, nullptr, nullptr);
    }
    return result;
}

CfString* NewString(std::u16string text)
{
    auto string = new CfString;
    string->text = std::move(text);
    g_live->insert(string);
    return string;
}

bool KeysMatch(const CfDictionary* dictionary, const void* stored, const void* wanted)
{
    if (stored == wanted) {
        return true;
    }
    if (!dictionary->keysByContent) {
        return false;
    }
    const CfString* a = FindString(stored);
    const CfString* b = FindString(wanted);
    return a && b && a->text == b->text;
}

// Every entry point: an exception must never leave the library.
template <class R, class F> R Guarded(R failure, F body)
{
    try {
        Locked lock;
        return body();
    } catch (...) {
        return failure;
    }
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        InitializeCriticalSection(&g_lock);
        // Never freed: objects may be released from threads still running while the process ends.
        g_live = new std::unordered_set<const void*>;
        g_constants = new std::map<std::string, CfString*>;
    }
    return TRUE;
}

SIM_CF_API void __cdecl CFRelease(CFTypeRef object)
{
    Guarded(0, [&] {
        Release(object);
        return 0;
    });
}

SIM_CF_API CFTypeRef __cdecl CFRetain(CFTypeRef object)
{
    return Guarded<CFTypeRef>(nullptr, [&]() -> CFTypeRef {
        if (!Find(object, 0)) {
            return Bad<CFTypeRef>(nullptr);
        }
        Retain(object);
        return object;
    });
}

SIM_CF_API CFIndex __cdecl CFGetRetainCount(CFTypeRef object)
{
    return Guarded<CFIndex>(0, [&]() -> CFIndex {
        CfObject* found = Find(object, 0);
        return found ? found->references : Bad<CFIndex>(0);
    });
}

SIM_CF_API CFIndex __cdecl CFStringGetLength(CFStringRef string)
{
    return Guarded<CFIndex>(0, [&]() -> CFIndex {
        CfString* found = FindString(string);
        return found ? static_cast<CFIndex>(found->text.size()) : Bad<CFIndex>(0);
    });
}

SIM_CF_API void __cdecl CFStringGetCharacters(CFStringRef string, CFRange range, uint16_t* buffer)
{
    Guarded(0, [&] {
        CfString* found = FindString(string);
        CFIndex length = found ? static_cast<CFIndex>(found->text.size()) : 0;
        if (!found || !buffer || range.location < 0 || range.length < 0 || range.location > length ||
            range.length > length - range.location) {
            return Bad(0);
        }
        for (CFIndex i = 0; i < range.length; ++i) {
            buffer[i] = found->text[static_cast<size_t>(range.location + i)];
        }
        return 0;
    });
}

SIM_CF_API const void* __cdecl CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key)
{
    return Guarded<const void*>(nullptr, [&]() -> const void* {
        CfDictionary* found = FindDictionary(dictionary);
        if (!found) {
            return Bad<const void*>(nullptr);
        }
        for (auto& entry : found->entries) {
            if (KeysMatch(found, entry.first, key)) {
                return entry.second;
            }
        }
        return nullptr;
    });
}

SIM_CF_API CFIndex __cdecl CFDictionaryGetCount(CFDictionaryRef dictionary)
{
    return Guarded<CFIndex>(0, [&]() -> CFIndex {
        CfDictionary* found = FindDictionary(dictionary);
        return found ? static_cast<CFIndex>(found->entries.size()) : Bad<CFIndex>(0);
    });
}

SIM_CF_API CFDictionaryRef __cdecl CFDictionaryCreate(const void* allocator, const void** keys, const void** values,
                                                      CFIndex count, const void* keyCallBacks,
                                                      const void* valueCallBacks)
{
    (void)allocator;
    return Guarded<CFDictionaryRef>(nullptr, [&]() -> CFDictionaryRef {
        if (count < 0 || (count > 0 && (!keys || !values))) {
            return Bad<CFDictionaryRef>(nullptr);
        }
        auto dictionary = new CfDictionary;
        dictionary->keysByContent = keyCallBacks != nullptr;
        dictionary->retainsKeys = keyCallBacks != nullptr;
        dictionary->retainsValues = valueCallBacks != nullptr;
        for (CFIndex i = 0; i < count; ++i) {
            // A later equal key replaces the earlier value, as in CoreFoundation.
            bool replaced = false;
            for (auto& entry : dictionary->entries) {
                if (KeysMatch(dictionary, entry.first, keys[i])) {
                    entry.second = values[i];
                    replaced = true;
                }
            }
            if (!replaced) {
                dictionary->entries.emplace_back(keys[i], values[i]);
            }
        }
        for (auto& entry : dictionary->entries) {
            if (dictionary->retainsKeys) {
                Retain(entry.first);
            }
            if (dictionary->retainsValues) {
                Retain(entry.second);
            }
        }
        g_live->insert(dictionary);
        return reinterpret_cast<CFDictionaryRef>(dictionary);
    });
}

SIM_CF_API CFStringRef __cdecl __CFStringMakeConstantString(const char* text)
{
    return Guarded<CFStringRef>(nullptr, [&]() -> CFStringRef {
        if (!text) {
            return Bad<CFStringRef>(nullptr);
        }
        auto found = g_constants->find(text);
        if (found != g_constants->end()) {
            return reinterpret_cast<CFStringRef>(found->second);
        }
        CfString* string = NewString(FromUtf8(text));
        string->constant = true;
        (*g_constants)[text] = string;
        return reinterpret_cast<CFStringRef>(string);
    });
}

SIM_CF_API CFStringRef __cdecl SimCFStringCreateUtf8(const char* text)
{
    return Guarded<CFStringRef>(nullptr, [&]() -> CFStringRef {
        if (!text) {
            return Bad<CFStringRef>(nullptr);
        }
        return reinterpret_cast<CFStringRef>(NewString(FromUtf8(text)));
    });
}

SIM_CF_API CFIndex __cdecl SimCFStringToUtf8(CFStringRef string, char* buffer, CFIndex bufferSize)
{
    return Guarded<CFIndex>(-1, [&]() -> CFIndex {
        CfString* found = FindString(string);
        if (!found) {
            return Bad<CFIndex>(-1);
        }
        std::string text = ToUtf8(found->text);
        if (buffer && bufferSize > 0) {
            size_t room = static_cast<size_t>(bufferSize - 1);
            size_t copied = text.size() < room ? text.size() : room;
            memcpy(buffer, text.data(), copied);
            buffer[copied] = '\0';
        }
        return static_cast<CFIndex>(text.size());
    });
}

SIM_CF_API CFDictionaryRef __cdecl SimCFDictionaryCreateOwned(const void** keys, const void** values, CFIndex count)
{
    return Guarded<CFDictionaryRef>(nullptr, [&]() -> CFDictionaryRef {
        if (count < 0 || (count > 0 && (!keys || !values))) {
            return Bad<CFDictionaryRef>(nullptr);
        }
        auto dictionary = new CfDictionary;
        dictionary->keysByContent = true;
        dictionary->retainsKeys = true;
        dictionary->retainsValues = true;
        for (CFIndex i = 0; i < count; ++i) {
            dictionary->entries.emplace_back(keys[i], values[i]);
        }
        g_live->insert(dictionary);
        return reinterpret_cast<CFDictionaryRef>(dictionary);
    });
}

SIM_CF_API const void* __cdecl SimCFDictionaryFindText(CFDictionaryRef dictionary, const char* key)
{
    return Guarded<const void*>(nullptr, [&]() -> const void* {
        CfDictionary* found = FindDictionary(dictionary);
        if (!found || !key) {
            return Bad<const void*>(nullptr);
        }
        std::u16string wanted = FromUtf8(key);
        for (auto& entry : found->entries) {
            const CfString* stored = FindString(entry.first);
            if (stored && stored->text == wanted) {
                return entry.second;
            }
        }
        return nullptr;
    });
}

SIM_CF_API unsigned __cdecl SimCFLiveObjects(void)
{
    return Guarded<unsigned>(0, [&] { return static_cast<unsigned>(g_live->size() - g_constants->size()); });
}

SIM_CF_API unsigned __cdecl SimCFBadCalls(void)
{
    return Guarded<unsigned>(0, [&] { return g_badCalls; });
}

}  // extern "C"
