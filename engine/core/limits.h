#pragma once
// Every limit of the engine, once.

#include <chrono>
#include <cstddef>

namespace brindle::engine {

inline constexpr std::size_t kMiB = std::size_t{1} << 20;

// A class file larger than this is refused before it is read.
inline constexpr std::size_t kMaxClassFileBytes = 256 * kMiB;
// A decompiled source larger than this fails the class file.
inline constexpr std::size_t kMaxSourceBytes = 256 * kMiB;
// What is kept of the decompiler's own error output; the rest is read and dropped.
inline constexpr std::size_t kMaxDecompilerErrorBytes = 64 * 1024;
// The longest piece of the decompiler's error output quoted in an error line.
inline constexpr std::size_t kMaxQuotedErrorChars = 300;

// How long one class file may take, every backend together, unless the environment says.
inline constexpr std::chrono::seconds kDefaultTimeLimit{120};
// The largest number of seconds (or, for the test delay, milliseconds per thousand) the
// environment may set.
inline constexpr long long kMaxSettingSeconds = 7LL * 24 * 3600;
// The longest text of a number the environment may set.
inline constexpr std::size_t kMaxSettingDigits = 9;

// How long a resident service that has just been started may take until it listens.
inline constexpr std::chrono::seconds kServiceStartLimit{30};
// How long a class file waits for one of the service's decompilers to be free before it is
// decompiled without the service: as long as its own time limit, and a minute at least.
constexpr std::chrono::seconds serviceQueueLimit(std::chrono::seconds timeLimit) {
    return timeLimit > std::chrono::seconds(60) ? timeLimit : std::chrono::seconds(60);
}
// A resident service ends after this long without work, unless the environment says.
inline constexpr unsigned kDefaultServiceIdleSeconds = 600;
// The service's heap: a base for the decompiler of the request in hand, and as much again for
// each worker beside it (each holds a Procyon, the JDK's types it keeps and the class it works
// on). A class of a large library reads hundreds of that library's types, which live as long
// as its decompile: at 256 MiB per decompiler, a batch over Debian's guava spent more processor
// time collecting garbage than in half of its decompiles, and at 512 MiB about half as much.
inline constexpr std::size_t kServiceHeapBase = 512 * kMiB;
inline constexpr std::size_t kServiceHeapPerDecompiler = 512 * kMiB;
// How many decompilers the service may have, and how many results of class files decompiled
// ahead of a batch it may hold.
inline constexpr long long kMaxServiceDecompilers = 64;
inline constexpr long long kMaxServiceAheadResults = 4096;
inline constexpr unsigned kDefaultServiceAheadResults = 64;

// The longest text field of a service request (the service refuses longer ones).
inline constexpr std::size_t kMaxServiceField = 64 * 1024;
// The longest service answer that is not a source (a reason, the decompiler's error output).
inline constexpr std::size_t kMaxServiceMessage = 1 * kMiB;

}  // namespace brindle::engine
