#include "engine/win32/java_finder.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/win32/wide_text.h"
#include "engine/win32/search_places.h"

namespace brindle::engine::win32 {
namespace {

using common::win32::fullPath;
using common::win32::narrow;

struct Candidate {
    std::wstring program;
    int release = 0;
};

std::string readSmallFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text(64 * 1024, '\0');
    DWORD got = 0;
    if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) got = 0;
    CloseHandle(file);
    text.resize(got);
    return text;
}

// A runtime folder (the one holding bin\java.exe), or an empty program when there is none.
Candidate fromHome(const std::wstring& home) {
    Candidate c;
    const std::wstring folder = unquoteFolder(home);
    if (folder.empty()) return c;
    const std::wstring program = folder + L"\\bin\\java.exe";
    if (!isFile(program)) return c;
    c.program = program;
    c.release = featureRelease(readSmallFile(folder + L"\\release"));
    return c;
}

// Where installers record a runtime: below each subkey of `key`, the value `value` of the
// subkey `below` (or of the subkey itself) names the runtime's folder.
struct RegistryPlace {
    const wchar_t* key;
    const wchar_t* below;
    const wchar_t* value;
};

constexpr RegistryPlace kRegistryPlaces[] = {
    {L"SOFTWARE\\JavaSoft\\JDK", L"", L"JavaHome"},
    {L"SOFTWARE\\JavaSoft\\JRE", L"", L"JavaHome"},
    {L"SOFTWARE\\JavaSoft\\Java Development Kit", L"", L"JavaHome"},
    {L"SOFTWARE\\JavaSoft\\Java Runtime Environment", L"", L"JavaHome"},
    {L"SOFTWARE\\Eclipse Adoptium\\JDK", L"hotspot\\MSI", L"Path"},
    {L"SOFTWARE\\Eclipse Adoptium\\JRE", L"hotspot\\MSI", L"Path"},
    {L"SOFTWARE\\Eclipse Foundation\\JDK", L"hotspot\\MSI", L"Path"},
    {L"SOFTWARE\\AdoptOpenJDK\\JDK", L"hotspot\\MSI", L"Path"},
    {L"SOFTWARE\\AdoptOpenJDK\\JRE", L"hotspot\\MSI", L"Path"},
    {L"SOFTWARE\\Microsoft\\JDK", L"hotspot\\MSI", L"Path"},
    {L"SOFTWARE\\Azul Systems\\Zulu", L"", L"InstallationPath"},
    {L"SOFTWARE\\BellSoft\\Liberica", L"", L"InstallationPath"},
};

void addRegistryCandidates(std::vector<Candidate>& into) {
    std::vector<Candidate> found;
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (const REGSAM view : {REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}}) {
            for (const RegistryPlace& place : kRegistryPlaces) {
                HKEY parent = nullptr;
                if (RegOpenKeyExW(root, place.key, 0, KEY_READ | view, &parent) != ERROR_SUCCESS)
                    continue;
                wchar_t name[256];
                for (DWORD i = 0;; ++i) {
                    DWORD length = 256;
                    if (RegEnumKeyExW(parent, i, name, &length, nullptr, nullptr, nullptr,
                                      nullptr) != ERROR_SUCCESS)
                        break;
                    std::wstring subkey = name;
                    if (*place.below != L'\0') subkey += std::wstring(L"\\") + place.below;
                    HKEY entry = nullptr;
                    if (RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_READ | view, &entry) !=
                        ERROR_SUCCESS)
                        continue;
                    Candidate c = fromHome(registryText(entry, place.value));
                    RegCloseKey(entry);
                    const bool known = std::any_of(found.begin(), found.end(), [&](const Candidate& f) {
                        return CompareStringOrdinal(f.program.c_str(), -1, c.program.c_str(), -1,
                                                    TRUE) == CSTR_EQUAL;
                    });
                    if (!c.program.empty() && !known) found.push_back(c);
                }
                RegCloseKey(parent);
            }
        }
    }
    // Newest first; an unknown release last among them.
    std::stable_sort(found.begin(), found.end(),
                     [](const Candidate& a, const Candidate& b) { return a.release > b.release; });
    into.insert(into.end(), found.begin(), found.end());
}

void addPathCandidates(std::vector<Candidate>& into) {
    const std::wstring program = firstOnPath(L"java.exe");
    if (program.empty()) return;
    Candidate c;
    c.program = program;
    // java.exe in <home>\bin: the release file is in <home>.
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    const std::size_t slash = folder.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        c.release = featureRelease(readSmallFile(folder.substr(0, slash) + L"\\release"));
    into.push_back(c);
}

JavaRuntime toRuntime(const Candidate& c) {
    const std::wstring full = fullPath(narrow(c.program));
    return JavaRuntime{narrow(full.empty() ? c.program : full), c.release};
}

}  // namespace

int featureRelease(std::string_view releaseFile) {
    constexpr std::string_view kKey = "JAVA_VERSION=";
    std::size_t at = 0;
    while (at < releaseFile.size()) {
        std::size_t end = releaseFile.find('\n', at);
        if (end == std::string_view::npos) end = releaseFile.size();
        std::string_view line = releaseFile.substr(at, end - at);
        at = end + 1;
        if (!line.starts_with(kKey)) continue;
        line.remove_prefix(kKey.size());
        if (line.starts_with('"')) line.remove_prefix(1);
        if (line.starts_with("1.")) line.remove_prefix(2);  // 1.8.0_292 is release 8
        int release = 0;
        for (const char c : line) {
            if (c < '0' || c > '9' || release > 1000) break;
            release = release * 10 + (c - '0');
        }
        return release;
    }
    return 0;
}

JavaSearch findJava() {
    std::vector<Candidate> candidates;
    const std::wstring home = environmentText(L"JAVA_HOME");
    if (!home.empty()) {
        Candidate c = fromHome(home);
        if (!c.program.empty()) candidates.push_back(c);
    }
    addRegistryCandidates(candidates);
    addPathCandidates(candidates);

    JavaSearch search;
    for (const Candidate& c : candidates) {
        if (c.release == 0 || c.release >= kMinimumJavaRelease) {
            search.java = toRuntime(c);
            return search;
        }
        if (!search.newestTooOld || c.release > search.newestTooOld->release)
            search.newestTooOld = toRuntime(c);
    }
    return search;
}

}  // namespace brindle::engine::win32
