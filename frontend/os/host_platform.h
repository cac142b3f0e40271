#pragma once
// The running operating system as the core sees it. Each platform folder implements this once.

#include "core/platform.h"
#include "texts/texts.h"

namespace brindle {

// The one host platform object of the process.
Platform& hostPlatform();

// The platform's own text table (GB2312 on Windows, UTF-8 on Linux).
const Texts& hostTexts();

}  // namespace brindle
