// Puts the decompiled source into the output folder.
#pragma once

#include <string>
#include <string_view>

namespace brindle::jad {

// Creates `folder` and any missing parents. Returns an error text, empty on success.
std::string makeFolders(const std::string& folder);

// Writes `contents` to `folder`/`fileName` through a temporary file in the same
// folder that is renamed over the target, so readers see either the older file
// or the complete new one. The temporary file never outlives a failure, and
// SIGINT/SIGTERM/SIGHUP wait until the file is in place. Returns an error text
// (naming the path), empty on success.
std::string replaceFile(const std::string& folder, const std::string& fileName,
                        std::string_view contents);

// `folder`/`name` without doubling a trailing slash.
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace brindle::jad
