#pragma once
// Puts the decompiled source into the output folder.

#include <string>
#include <string_view>

#include "engine/core/outcome.h"

namespace brindle::engine {

// Writes source to <folder>/<simpleName>.java, creating the folder and its missing parents.
// The file is replaced whole (common::replaceFile): a reader meets the older file or the new
// one, and a failure leaves the older file as it was. CannotWriteOutput names the path.
Outcome writeSource(const std::string& folder, const std::string& simpleName,
                    std::string_view source);

}  // namespace brindle::engine
