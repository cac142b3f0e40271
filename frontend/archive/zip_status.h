#pragma once
// The one way the archive library reports how an operation went.

namespace brindle::archive {

enum class ZipStatus {
    Ok,
    NotAnArchive,  // no end-of-central-directory record: not a zip file at all
    Damaged,       // a zip file whose records contradict each other or the file
    Unsupported,   // encrypted, split over several disks, or compressed other than stored/deflated
    TooLarge,      // would expand past the limits of zip_limits.h
    CannotRead,    // the archive file could not be opened or read
    CannotWrite,   // an extracted file could not be written
};

// A short English name of the status, for tests and logs.
const char* describe(ZipStatus status);

}  // namespace brindle::archive
