#include "engine/core/service_protocol.h"

#include "engine/core/limits.h"

namespace brindle::engine {
namespace {

void putU32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void putText(std::string& out, std::string_view text) {
    putU32(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

// 64-bit FNV-1a over each part, with a separator byte after each.
void hashPart(std::uint64_t& hash, std::string_view bytes) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    hash ^= 0xFF;
    hash *= 0x100000001b3ULL;
}

}  // namespace

std::optional<std::string> encodeRequest(const ServiceRequest& request) {
    for (const std::string* field : {&request.key, &request.classFile, &request.workingFolder}) {
        if (field->size() > kMaxServiceField) return std::nullopt;
    }
    std::string out(kServiceMagic);
    putText(out, request.key);
    putU32(out, request.timeLimitSeconds);
    putU32(out, request.testDelayMillis);
    putText(out, request.classFile);
    putText(out, request.workingFolder);
    return out;
}

std::optional<AnswerHeader> decodeAnswerHeader(std::string_view header) {
    if (header.size() != kAnswerHeaderSize || !header.starts_with(kServiceMagic))
        return std::nullopt;
    const auto kind = static_cast<unsigned char>(header[kServiceMagic.size()]);
    AnswerHeader decoded;
    switch (kind) {
        case static_cast<unsigned char>(AnswerKind::Source):
        case static_cast<unsigned char>(AnswerKind::NoSource):
        case static_cast<unsigned char>(AnswerKind::RunCold):
        case static_cast<unsigned char>(AnswerKind::Partial):
            decoded.kind = static_cast<AnswerKind>(kind);
            break;
        default:
            return std::nullopt;
    }
    for (std::size_t i = kServiceMagic.size() + 1; i < kAnswerHeaderSize; ++i)
        decoded.length = (decoded.length << 8) | static_cast<unsigned char>(header[i]);
    return decoded;
}

bool isStartedFrame(std::string_view header) {
    return header == encodeAnswer(kStartedKind, {});
}

std::string encodeAnswer(std::uint8_t kind, std::string_view body) {
    std::string out(kServiceMagic);
    out.push_back(static_cast<char>(kind));
    putText(out, body);
    return out;
}

std::string serviceKey(const std::vector<std::string>& parts) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    hashPart(hash, kServiceMagic);
    for (const std::string& part : parts) hashPart(hash, part);
    constexpr std::string_view kHex = "0123456789abcdef";
    std::string key(16, '0');
    for (std::size_t i = key.size(); i-- > 0; hash >>= 4) key[i] = kHex[hash & 0xF];
    return key;
}

}  // namespace brindle::engine
