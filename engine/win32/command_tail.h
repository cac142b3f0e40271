// Jad.exe's reading of its own command line. Windows hands a program one text, not an argument
// vector, and Brindle.exe composes it as
//   <engine> -sjava -8 -ff -d"<folder>" <the user's command tail, quotes included>
//   <engine> -sjava -8 -ff -d"<folder>" "<class file>"                      (a batch)
// where the folder may be a drive root given as "C:\\" and an unquoted tail may hold blanks.
// The C runtime's argument rules do not fit: they read \" as an escaped quote (so "C:\\" and a
// folder ending in a backslash go wrong) and cut an unquoted path at its blanks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brindle::engine::win32 {

// Splits the whole command line (UTF-8, program name first) into the arguments after the
// program name, in the form the engine's portable command-line parser takes:
// - the program name ends at its closing quote, or at the first blank when unquoted;
// - an option ("-x...", until "--" or the class file) ends at a blank outside quotes; quotes
//   group and are dropped, a backslash is always a plain character; "-d" alone takes the next
//   word as its folder, which comes trimmed (trimFolder);
// - the class file is the rest of the line: the quoted text when it starts with a quote (any
//   text after the closing quote becomes one more argument, which the parser refuses), else
//   everything up to the last non-blank, blanks included, quotes dropped.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// A folder as the user wrote it, with the separators that only the quoting added taken off:
// "C:\\" becomes "C:\", "C:\out\" becomes "C:\out". A share root keeps its form.
std::string trimFolder(std::string folder);

}  // namespace brindle::engine::win32
