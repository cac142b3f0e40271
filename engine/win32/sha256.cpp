#include "engine/win32/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

namespace brindle::engine::win32 {

std::string sha256Hex(std::string_view bytes) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return {};
    std::string hex;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32];
    if (BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
        bool ok = true;
        while (ok && !bytes.empty()) {
            const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
            ok = BCRYPT_SUCCESS(BCryptHashData(
                hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), chunk, 0));
            bytes.remove_prefix(chunk);
        }
        if (ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0))) {
            constexpr char kHex[] = "0123456789abcdef";
            for (const unsigned char b : digest) {
                hex += kHex[b >> 4];
                hex += kHex[b & 0xF];
            }
        }
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return hex;
}

}  // namespace brindle::engine::win32
