// Typebind.exe run from a temporary program folder in a throw-away Wine prefix, its keys read
// back from HKEY_CLASSES_ROOT. Texts are ANSI bytes of code page 936 (the prefix runs with a
// Chinese locale).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/win32_files.h"
#include "support/win32_launch.h"

namespace brindle {
namespace {

using testing::fromLinuxPath;

const std::string kChinese = "\xb3\xcc\xd0\xf2";  // 程序
const std::string kTrailBackslash = "\x94\x5c";   // 擻, whose trail byte is a backslash
const std::string kFileTypeName = "Java\xb3\xcc\xd0\xf2\xce\xc4\xbc\xfe";  // Java程序文件

// Wine shows the Linux file system as drive Z:.
// Starts the program with no arguments and waits; its exit code.
DWORD run(const std::string& program) {
    return testing::launchAndWait("\"" + program + "\"");
}

// A key's default value as stored: its type and every byte RegQueryValueExA hands back.
struct Value {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const Value&) const = default;
};

void PrintTo(const Value& value, std::ostream* out) {
    *out << "type " << value.type << " \"";
    for (const char c : value.bytes) {
        if (c >= 0x20 && c < 0x7F) {
            *out << c;
        } else {
            *out << "\\x" << std::hex << (static_cast<unsigned>(c) & 0xFFu) << std::dec;
        }
    }
    *out << '"';
}

// The names of key's subkeys with the letter case they were created in.
std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// What the registrar writes, key by key below HKEY_CLASSES_ROOT: the default value, and each
// key's presence with its exact name in its parent's list. A missing key has no entry.
std::map<std::string, Value> readAssociation() {
    static const char* const kKeys[] = {".Class", "CoolBrindle", "CoolBrindle\\DefaultIcon",
                                        "CoolBrindle\\Shell", "CoolBrindle\\Shell\\Open",
                                        "CoolBrindle\\Shell\\Open\\Command"};
    std::map<std::string, Value> found;
    for (const std::string path : kKeys) {
        const std::size_t cut = path.rfind('\\');
        const std::string parentPath = cut == std::string::npos ? "" : path.substr(0, cut);
        const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
        HKEY parent = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, parentPath.empty() ? nullptr : parentPath.c_str(), 0,
                          KEY_READ, &parent) != ERROR_SUCCESS) {
            continue;
        }
        const auto names = subkeyNames(parent);
        RegCloseKey(parent);
        if (std::find(names.begin(), names.end(), name) == names.end()) continue;

        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        Value value;
        char data[1024];
        DWORD size = sizeof data;
        if (RegQueryValueExA(key, nullptr, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) ==
            ERROR_SUCCESS) {
            value.bytes.assign(data, size);
        }
        RegCloseKey(key);
        found[path] = value;
    }
    return found;
}

void removeAssociation() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "CoolBrindle");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "CoolBrindle");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ".Class");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ".Class");
}

// The string value with its terminating zero, as the registrar must store it.
Value sz(const std::string& text, DWORD type = REG_SZ) { return {type, text + '\0'}; }

class TypebindExe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 936u) << "run under a Chinese locale (LC_ALL=zh_CN.UTF-8)";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "typebind " + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(counter_++);
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        removeAssociation();
    }
    void TearDown() override {
        for (const auto& [folder, program] : programs_) {
            DeleteFileA((folder + program).c_str());
            RemoveDirectoryA(folder.c_str());
        }
        RemoveDirectoryA(root_.c_str());
        removeAssociation();
    }

    // A program folder below the test's root holding a copy of Typebind.exe named program;
    // the folder with its trailing backslash.
    std::string programFolder(const std::string& name, const std::string& program = "Typebind.exe") {
        const std::string folder = root_ + "\\" + name + "\\";
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        EXPECT_TRUE(CopyFileA(fromLinuxPath(TYPEBIND_EXE).c_str(), (folder + program).c_str(), FALSE));
        programs_.emplace_back(folder, program);
        return folder;
    }

    std::string root_;
    std::vector<std::pair<std::string, std::string>> programs_;
    static inline int counter_ = 0;
};

TEST_F(TypebindExe, WritesTheAssociationForItsOwnFolderAndRunningAgainChangesNothing) {
    // A blank, a Chinese name and a character whose trail byte is a backslash: the folder must
    // be cut at the last real backslash, and the quotes keep the command whole.
    const std::string folder = programFolder("prog " + kChinese + " " + kTrailBackslash);
    const std::string target = folder + "Brindle.exe";

    ASSERT_EQ(run(folder + "Typebind.exe"), 0u);
    const auto first = readAssociation();
    const std::map<std::string, Value> expected = {
        {".Class", sz("CoolBrindle")},
        {"CoolBrindle", sz(kFileTypeName)},
        {"CoolBrindle\\DefaultIcon", sz(target + ",1")},
        {"CoolBrindle\\Shell", Value{}},
        {"CoolBrindle\\Shell\\Open", sz("")},
        {"CoolBrindle\\Shell\\Open\\Command", sz("\"" + target + "\" \"%1\"", REG_EXPAND_SZ)},
    };
    EXPECT_EQ(first, expected);

    ASSERT_EQ(run(folder + "Typebind.exe"), 0u);
    EXPECT_EQ(readAssociation(), first);

    // Run from another folder, the same keys are overwritten to name that folder's Brindle.exe.
    // This copy's own name ends in a character whose trail byte is a backslash.
    const std::string renamed = "Typebind " + kTrailBackslash + ".exe";
    const std::string other = programFolder("Tools", renamed);
    ASSERT_EQ(run(other + renamed), 0u);
    const auto moved = readAssociation();
    EXPECT_EQ(moved.at("CoolBrindle\\DefaultIcon"), sz(other + "Brindle.exe,1"));
    EXPECT_EQ(moved.at("CoolBrindle\\Shell\\Open\\Command"),
              sz("\"" + other + "Brindle.exe\" \"%1\"", REG_EXPAND_SZ));
}

TEST_F(TypebindExe, AKeyThatCannotBeCreatedSkipsOnlyWhatIsBelowIt) {
    // No lasting key can be made below a volatile one: Open, and so Command, must fail.
    HKEY fileType = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CoolBrindle", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &fileType, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(fileType);
    HKEY shell = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CoolBrindle\\Shell", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &shell, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(shell);
    const std::string folder = programFolder("prog");

    ASSERT_EQ(run(folder + "Typebind.exe"), 0u);
    const std::map<std::string, Value> expected = {
        {".Class", sz("CoolBrindle")},
        {"CoolBrindle", sz(kFileTypeName)},
        {"CoolBrindle\\DefaultIcon", sz(folder + "Brindle.exe,1")},
        {"CoolBrindle\\Shell", Value{}},
    };
    EXPECT_EQ(readAssociation(), expected);
}

TEST(TypebindImage, IsAWindowsGuiProgramThatRunsAsTheInvokingUser) {
    const std::string image = testing::readFile(fromLinuxPath(TYPEBIND_EXE));
    ASSERT_GT(image.size(), 0x40u);
    const auto at = [&](std::size_t offset, std::size_t size) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(image.at(offset + i))) << (8 * i);
        return value;
    };
    const std::size_t pe = at(0x3C, 4);
    // PE signature, 20-byte file header, then the optional header with Subsystem at 68.
    EXPECT_EQ(at(pe, 4), 0x00004550u);
    EXPECT_EQ(at(pe + 4 + 20 + 68, 2), static_cast<std::uint32_t>(IMAGE_SUBSYSTEM_WINDOWS_GUI));

    const HMODULE module = LoadLibraryExA(fromLinuxPath(TYPEBIND_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(resource, nullptr) << "no RT_MANIFEST with id 1";
    const char* manifest = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    const std::string text(manifest, SizeofResource(module, resource));
    EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos)
        << text;
    FreeLibrary(module);
}

}  // namespace
}  // namespace brindle
