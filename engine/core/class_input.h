#pragma once
// Which path the decompiler gets for a class file. Procyon opens a class file only by a path
// that ends in ".class" (it takes anything else for a type name), and the service reads paths
// as UTF-8 text. A class file under any other name is handed over as a private copy named
// after its class, with the copies of its nested classes beside it (Procyon folds nested
// classes in from the class file's own folder).

#include <string>
#include <string_view>

namespace brindle::engine {

// True when the decompiler can open the class file by this absolute path as it is.
bool decompilerOpensPath(std::string_view absolutePath);

// True when internalName ("pkg/Outer$Inner$1") names a class nested, at any depth, in
// outerInternalName ("pkg/Outer").
bool isNestedIn(std::string_view outerInternalName, std::string_view internalName);

// The name a copy of a class file gets: the class's simple name and ".class".
std::string copyName(std::string_view simpleName);

// True when a file of this name may hold a nested class, so that it is worth reading:
// compilers name nested class files with a '$'.
bool mayHoldNestedClass(std::string_view fileName);

}  // namespace brindle::engine
