#pragma once
// The batch walk's path rules, kept apart from the walk so that they can be checked for both
// path styles on any host. Lengths and positions count bytes; separator searches step over
// double-byte characters. "Root" means a text of style.rootLength bytes ("C:\" or "/").

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/path_style.h"

namespace brindle {

// Column 0 of a list row holds at most this many bytes.
inline constexpr std::size_t kColumn0Limit = 199;

// The largest position at or before limit where a character of text begins (text.size() when
// limit is past its end).
std::size_t boundaryAtOrBefore(std::string_view text, std::size_t limit, const PathStyle& style);

// text less any trailing separators, but never shorter than a root ("C:\src\" -> "C:\src",
// "C:\" stays, "//" -> "/").
std::string withoutTrailingSeparators(std::string_view text, const PathStyle& style);

// The folder the walk starts in, with one separator appended unless the source root is a root.
std::string topFolderText(std::string_view sourceRoot, const PathStyle& style);

// The part of folder below the source root: after the first sourceRootLength bytes when the
// source root is a root, after one more (its separator) otherwise. Empty for the top folder and
// for a text too short to hold the source root.
std::string relativePart(std::string_view folder, std::size_t sourceRootLength,
                         const PathStyle& style);

// The output folder with one separator appended unless it already ends in one, then the
// relative part of folder. For a folder text with a trailing separator it ends in one too.
std::string mirroredFolder(std::string_view outputFolder, std::string_view folder,
                           std::size_t sourceRootLength, const PathStyle& style);

// Every folder that making path creates, from the first one below its root down to path
// itself, in that order ("C:\out\a" -> "C:\out", "C:\out\a"). Nothing for a root or less.
std::vector<std::string> folderLevels(std::string_view path, const PathStyle& style);

// A class file is one whose path, upper-cased by the platform's rules, is longer than five
// bytes and ends in the five single-byte characters "CLASS" (Foo.class, Foo.CLASS, myclass).
bool isClassFileName(std::string_view path, const PathStyle& style);

// An archive the batch walks like a folder: a name that ends, in any letter case, in ".jar",
// ".war", ".ear" or ".zip", with something before the dot.
bool isArchiveName(std::string_view path, const PathStyle& style);

// The name of the folder an archive's sources go to: the archive's name and ".src"
// ("foo.jar" -> "foo.jar.src"), or, while that name is taken by a sibling in the source,
// the first free one of "foo.jar.src.1", "foo.jar.src.2", ...
std::string archiveMirrorName(std::string_view archiveName,
                              const std::function<bool(const std::string&)>& siblingExists);

// Column 0 of the row for an expected output file: its text after the last separator, cut to
// kColumn0Limit bytes without splitting a character.
std::string column0Text(std::string_view expectedFile, const PathStyle& style);

// Column 1: the folder that holds the expected output file, without its trailing separator;
// a folder that would be shorter than a root shows as the root ("C:\", "/").
std::string column1Text(std::string_view expectedFile, const PathStyle& style);

}  // namespace brindle
