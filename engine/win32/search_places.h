#pragma once
// What the finders of java.exe and node.exe share: the places a program is looked for on
// Windows (an environment variable, PATH, an installer's registry value) read the same way.

#include <windows.h>

#include <string>

namespace brindle::engine::win32 {

bool isFile(const std::wstring& path);

// The variable's value; empty when it is not set.
std::wstring environmentText(const wchar_t* name);

// A folder as installers and users write it: quotes, trailing separators and blanks removed.
std::wstring unquoteFolder(std::wstring text);

// A REG_SZ or REG_EXPAND_SZ value (expanded); empty when there is none.
std::wstring registryText(HKEY key, const wchar_t* value);

// The first folder of PATH that holds `program` (such as L"java.exe"): its full name, or empty.
// Only the first counts: it is the one PATH names.
std::wstring firstOnPath(const wchar_t* program);

}  // namespace brindle::engine::win32
