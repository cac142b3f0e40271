#pragma once
// Finding the Java runtime that runs Procyon and the service on Windows.

#include <optional>
#include <string>
#include <string_view>

namespace brindle::engine::win32 {

// The service is compiled for Java 17.
inline constexpr int kMinimumJavaRelease = 17;

struct JavaRuntime {
    std::string program;  // java.exe, absolute, UTF-8
    int release = 0;      // the feature release (8, 11, 17, 21, ...); 0 when it is not known
};

struct JavaSearch {
    std::optional<JavaRuntime> java;           // the one to use
    std::optional<JavaRuntime> newestTooOld;   // when none is new enough: the newest found
};

// The candidates, in this order: JAVA_HOME; the folders the common installers record in the
// registry (Oracle's JavaSoft keys, which Corretto also writes; Eclipse Adoptium and its
// predecessors, Microsoft, Azul Zulu, BellSoft Liberica; per user before per machine, 64-bit
// view before 32-bit), newest release first; then the first java.exe on PATH. The first
// candidate of release 17 or later, or of an unknown release, is taken; the release is read
// from the runtime's "release" file.
JavaSearch findJava();

// The feature release named by the JAVA_VERSION line of a runtime's "release" file
// ("1.8.0_292" gives 8, "17.0.2" gives 17); 0 when there is none.
int featureRelease(std::string_view releaseFile);

}  // namespace brindle::engine::win32
