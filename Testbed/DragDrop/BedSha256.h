// SHA-256 through the system's cryptography provider (BCrypt), for the byte counts and digests the
// stand-ins log.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <string>

namespace bed {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Valid() const { return hash_ != nullptr; }
    void Add(const void* data, size_t size);
    unsigned long long Bytes() const { return bytes_; }
    // 64 lower-case hex digits; the hash cannot take more data afterwards. Empty when it failed.
    std::string Finish();

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    unsigned long long bytes_ = 0;
    bool failed_ = false;
};

// The digest of a whole file, or "" when it cannot be read.
std::string Sha256OfFile(const std::wstring& path);

}  // namespace bed
