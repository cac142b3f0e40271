#pragma once
// Finding the Node.js runtime that runs the Vineflower engine on Windows.

#include <optional>
#include <string>

namespace brindle::engine::win32 {

// The release the Vineflower engine is built and tested on (its package.json says so too).
inline constexpr int kMinimumNodeRelease = 18;

struct NodeRuntime {
    std::string program;  // node.exe, absolute, UTF-8
    int release = 0;      // the major release (18, 20, 22, ...); 0 when it is not known
};

struct NodeSearch {
    std::optional<NodeRuntime> node;          // the one to use
    std::optional<NodeRuntime> newestTooOld;  // when none is new enough: the newest found
    // BRINDLE_JAD_NODE named a program that is not there (then nothing else is looked at).
    std::optional<std::string> namedMissing;
};

// BRINDLE_JAD_NODE, when set, names node.exe outright and is the only candidate. Otherwise, in
// this order: the first node.exe on PATH; the folder the Node.js installer records
// (SOFTWARE\Node.js, value InstallPath; per user before per machine, 64-bit view before
// 32-bit). The first candidate of release kMinimumNodeRelease or later, or of an unknown
// release, is taken. The release is read from node.exe's version resource, which the Node.js
// builds carry, without starting it: a run of Jad.exe is one class file, and starting node
// once more for each would cost more than the decompile's own start.
NodeSearch findNode();

// The major release in a program's version resource; 0 when it has none.
int programMajorRelease(const std::wstring& program);

}  // namespace brindle::engine::win32
