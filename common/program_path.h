#pragma once
// Where the running program is.

#include <string>

namespace brindle::common {

// The full path of the running program file; empty when the system does not say.
std::string programPath();

// The folder of the running program file, ending in the platform's separator; empty when the
// system does not say.
std::string programFolder();

}  // namespace brindle::common
