// Finding node.exe under Wine: BRINDLE_JAD_NODE, PATH and the Node.js installer's registry
// value (written into the prefix's registry for each case and removed after it), with node.exe
// files of chosen releases (tests/fakes/versioned_program.*) and one without a version.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win32/wide_text.h"
#include "engine/win32/node_finder.h"

namespace {

using brindle::engine::win32::findNode;
using brindle::engine::win32::NodeSearch;

std::wstring wide(const std::string& utf8) { return brindle::common::win32::widen(utf8); }

// A file the build made, as Wine reaches it.
std::wstring built(std::string linuxPath) {
    for (char& c : linuxPath) {
        if (c == '/') c = '\\';
    }
    return wide("Z:" + linuxPath);
}

struct Recorded {
    HKEY root;
    REGSAM view;
    std::wstring installPath;
};

void record(const Recorded& entry) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(entry.root, L"SOFTWARE\\Node.js", 0, nullptr, 0, KEY_WRITE | entry.view,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.installPath.c_str()),
                   static_cast<DWORD>((entry.installPath.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void forgetAll() {
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (const REGSAM view : {REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}})
            RegDeleteKeyExW(root, L"SOFTWARE\\Node.js", view, 0);
}

class NodeFinder : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"node finder " + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(root_.c_str(), nullptr);
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        // node.exe of release 22, of release 16, and one with no version resource (this test).
        place(L"new", built(NODE_22));
        place(L"old", built(NODE_16));
        place(L"plain", self);
        place(L"other new", built(NODE_22));
        forgetAll();
    }

    void TearDown() override {
        forgetAll();
        SetEnvironmentVariableW(L"BRINDLE_JAD_NODE", nullptr);
        for (const wchar_t* name : {L"new", L"old", L"plain", L"other new"}) {
            DeleteFileW(node(name).c_str());
            RemoveDirectoryW(folder(name).c_str());
        }
        RemoveDirectoryW(root_.c_str());
    }

    std::wstring folder(const wchar_t* name) const { return root_ + L"\\" + name; }
    std::wstring node(const wchar_t* name) const { return folder(name) + L"\\node.exe"; }

    void place(const wchar_t* name, const std::wstring& program) {
        CreateDirectoryW(folder(name).c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(program.c_str(), node(name).c_str(), FALSE)) << name;
    }

    std::wstring root_;
};

std::string narrow(const std::wstring& text) { return brindle::common::win32::narrow(text); }

TEST_F(NodeFinder, TakesTheFirstPlaceInOrderThatHoldsANewEnoughNode) {
    const std::wstring system = L"C:\\windows\\system32;C:\\windows";
    struct Case {
        const char* name;
        std::wstring named;               // BRINDLE_JAD_NODE
        std::wstring path;                // PATH before the system's folders
        std::vector<Recorded> registry;
        std::wstring found;               // empty: none
        int release;
        std::wstring tooOld;              // when none is found: the newest too old
        bool namedMissing;
    };
    const std::vector<Case> cases = {
        {"nowhere", L"", L"", {}, L"", 0, L"", false},
        {"on PATH", L"", folder(L"new") + L";", {}, node(L"new"), 22, L"", false},
        {"the first on PATH only", L"", folder(L"old") + L";" + folder(L"new") + L";", {}, L"", 0,
         node(L"old"), false},
        {"PATH before the registry", L"", folder(L"new") + L";",
         {{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, folder(L"other new")}}, node(L"new"), 22, L"", false},
        {"the installer's value past an old node on PATH", L"", folder(L"old") + L";",
         {{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"\"" + folder(L"new") + L"\\\""}}, node(L"new"), 22, L"",
         false},
        {"the 32-bit view", L"", L"", {{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, folder(L"new")}}, node(L"new"),
         22, L"", false},
        {"per user before per machine", L"", L"",
         {{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, folder(L"other new")},
          {HKEY_CURRENT_USER, KEY_WOW64_64KEY, folder(L"new")}},
         node(L"new"), 22, L"", false},
        {"a folder without node.exe", L"", L"", {{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, root_}}, L"", 0, L"",
         false},
        {"an unknown release is tried", L"", folder(L"plain") + L";", {}, node(L"plain"), 0, L"", false},
        {"named outright", node(L"old"), folder(L"new") + L";", {}, L"", 0, node(L"old"), false},
        {"named, newer", node(L"other new"), folder(L"new") + L";", {}, node(L"other new"), 22, L"",
         false},
        {"named but missing", folder(L"new") + L"\\nothing.exe", folder(L"new") + L";", {}, L"", 0, L"",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        forgetAll();
        for (const Recorded& entry : c.registry) record(entry);
        SetEnvironmentVariableW(L"PATH", (c.path + system).c_str());
        SetEnvironmentVariableW(L"BRINDLE_JAD_NODE", c.named.empty() ? nullptr : c.named.c_str());
        const NodeSearch search = findNode();
        EXPECT_EQ(search.node.has_value(), !c.found.empty());
        if (search.node && !c.found.empty()) {
            EXPECT_EQ(search.node->program, narrow(c.found));
            EXPECT_EQ(search.node->release, c.release);
        }
        EXPECT_EQ(search.newestTooOld.has_value(), !c.tooOld.empty());
        if (search.newestTooOld && !c.tooOld.empty()) {
            EXPECT_EQ(search.newestTooOld->program, narrow(c.tooOld));
            EXPECT_EQ(search.newestTooOld->release, 16);
        }
        EXPECT_EQ(search.namedMissing.has_value(), c.namedMissing);
    }
}

}  // namespace
