#pragma once
// How far Brindle lets an archive expand, defined once. A zip bomb (an archive that expands to
// far more than it holds) ends with that archive skipped; these bounds decide what counts as one.

#include <cstdint>

namespace brindle::archive {

struct ZipLimits {
    // Everything taken out of one archive a batch meets, archives inside it included.
    std::uint64_t totalBytes = std::uint64_t{2} << 30;
    // An entry larger than ratioFloor may expand at most this many times its stored size. Class
    // files and jars shrink two to ten times; deflate cannot pass about 1032 times.
    std::uint64_t ratio = 100;
    std::uint64_t ratioFloor = std::uint64_t{1} << 20;
    // A central directory with more entries than this is refused before it is read whole.
    std::uint64_t entries = 1'000'000;
};

inline constexpr ZipLimits kZipLimits{};

// Archives inside archives are followed this many levels deep (a jar in a war is one level);
// an archive that holds itself ends here at the latest.
inline constexpr int kMaxArchiveNesting = 4;

}  // namespace brindle::archive
