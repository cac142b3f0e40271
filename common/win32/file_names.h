#pragma once
// Which names Windows' own programs can open a file by.

#include <string_view>

namespace brindle::common::win32 {

// False for a name holding a character Windows refuses in a file name (control characters and
// \ / : * ? " < > |), ending in a dot or a blank, or naming a device (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, with or without an extension): through "\\?\" paths such a file could be
// written, but not opened by Notepad, Explorer or Brindle.
bool isWindowsFileName(std::string_view name);

}  // namespace brindle::common::win32
