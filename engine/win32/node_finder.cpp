#include "engine/win32/node_finder.h"

#include <windows.h>

#include <vector>

#include "common/win32/wide_text.h"
#include "engine/win32/search_places.h"

namespace brindle::engine::win32 {
namespace {

using common::win32::fullPath;
using common::win32::narrow;

NodeRuntime runtimeOf(const std::wstring& program) {
    const std::wstring full = fullPath(narrow(program));
    return NodeRuntime{narrow(full.empty() ? program : full), programMajorRelease(program)};
}

void addRegistryCandidates(std::vector<std::wstring>& into) {
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (const REGSAM view : {REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}}) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(root, L"SOFTWARE\\Node.js", 0, KEY_READ | view, &key) !=
                ERROR_SUCCESS)
                continue;
            const std::wstring folder = unquoteFolder(registryText(key, L"InstallPath"));
            RegCloseKey(key);
            if (folder.empty()) continue;
            const std::wstring program = folder + L"\\node.exe";
            if (isFile(program)) into.push_back(program);
        }
    }
}

}  // namespace

int programMajorRelease(const std::wstring& program) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    if (size == 0) return 0;
    std::vector<char> info(size);
    if (!GetFileVersionInfoW(program.c_str(), 0, size, info.data())) return 0;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
        return 0;
    return static_cast<int>(HIWORD(fixed->dwProductVersionMS));
}

NodeSearch findNode() {
    NodeSearch search;
    std::vector<std::wstring> candidates;
    if (const std::wstring named = environmentText(L"BRINDLE_JAD_NODE"); !named.empty()) {
        if (!isFile(named)) {
            search.namedMissing = narrow(named);
            return search;
        }
        candidates.push_back(named);
    } else {
        if (std::wstring onPath = firstOnPath(L"node.exe"); !onPath.empty())
            candidates.push_back(std::move(onPath));
        addRegistryCandidates(candidates);
    }
    for (const std::wstring& program : candidates) {
        NodeRuntime runtime = runtimeOf(program);
        if (runtime.release == 0 || runtime.release >= kMinimumNodeRelease) {
            search.node = std::move(runtime);
            search.newestTooOld.reset();
            return search;
        }
        if (!search.newestTooOld || runtime.release > search.newestTooOld->release)
            search.newestTooOld = std::move(runtime);
    }
    return search;
}

}  // namespace brindle::engine::win32
