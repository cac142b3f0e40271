#pragma once
// The bytes the engine and its resident service (engine/service) exchange, independent of the
// transport that carries them. One request per connection, then two frames back:
//
//   request: magic, u32 key length, key, u32 time limit (seconds), u32 test delay (ms),
//            u32 length, class file path (UTF-8, absolute),
//            u32 length, the engine's working folder (UTF-8, absolute)
//   started: magic, u8 3, u32 0 -- the decompile begins now: after a wait for a free
//            decompiler, or at once when the answer is ready. The time limit runs from here.
//   answer:  magic, u8 kind, u32 length, body
//
// Numbers are big-endian. Nothing follows the answer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::engine {

// Starts every request and every answer; a service of another protocol never matches.
inline constexpr std::string_view kServiceMagic = "BRJ3";

struct ServiceRequest {
    std::string key;  // names the service build the request is for (serviceKey)
    std::uint32_t timeLimitSeconds = 0;
    std::uint32_t testDelayMillis = 0;
    std::string classFile;
    std::string workingFolder;
};

// The request's bytes; nullopt when a field is longer than the service reads (kMaxServiceField).
std::optional<std::string> encodeRequest(const ServiceRequest& request);

enum class AnswerKind : std::uint8_t {
    Source = 0,    // body: the source
    NoSource = 1,  // body: what the decompiler printed instead of a source
    RunCold = 2,   // body: why the service did not decompile; the engine decompiles without it
    // (3 is the "started" frame.)
    Partial = 4,  // body: a source in which the decompiler marked a method it could not decompile
};

inline constexpr std::size_t kAnswerHeaderSize = kServiceMagic.size() + 1 + 4;

struct AnswerHeader {
    AnswerKind kind = AnswerKind::RunCold;
    std::uint32_t length = 0;  // of the body that follows
};

// Reads the kAnswerHeaderSize bytes that start an answer; nullopt for a wrong magic or a kind
// this engine does not know.
std::optional<AnswerHeader> decodeAnswerHeader(std::string_view header);

// The kind byte of the "started" frame, which has no body.
inline constexpr std::uint8_t kStartedKind = 3;

// Whether the kAnswerHeaderSize bytes are the "started" frame.
bool isStartedFrame(std::string_view header);

// An answer as the service sends it; kind is a byte so that a test can send one of no kind.
std::string encodeAnswer(std::uint8_t kind, std::string_view body);

// Names one build of the service: the magic and the parts (the java program, the class path,
// the service program and its identity on disk) hashed into 16 hex digits. A service started
// from another build has another key and never serves this engine.
std::string serviceKey(const std::vector<std::string>& parts);

}  // namespace brindle::engine
