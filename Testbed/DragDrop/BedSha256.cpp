#include "BedSha256.h"

#include <cstdio>

namespace bed {

Sha256::Sha256()
{
    if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        algorithm_ = nullptr;
        return;
    }
    if (BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0) != 0) hash_ = nullptr;
}

Sha256::~Sha256()
{
    if (hash_) BCryptDestroyHash(hash_);
    if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

void Sha256::Add(const void* data, size_t size)
{
    if (!hash_ || size == 0) return;
    if (BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size), 0) != 0) {
        failed_ = true;
    }
    bytes_ += size;
}

std::string Sha256::Finish()
{
    UCHAR digest[32];
    if (!hash_ || failed_ || BCryptFinishHash(hash_, digest, sizeof digest, 0) != 0) return std::string();
    BCryptDestroyHash(hash_);
    hash_ = nullptr;
    std::string hex;
    for (UCHAR byte : digest) {
        char pair[3];
        snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

std::string Sha256OfFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    Sha256 hash;
    char buffer[65536];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) != FALSE) && read > 0) hash.Add(buffer, read);
    CloseHandle(file);
    return ok ? hash.Finish() : std::string();
}

}  // namespace bed
