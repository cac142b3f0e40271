#include "engine/win32/process_start.h"

#include <algorithm>
#include <memory>

#include "common/win32/child_handles.h"
#include "common/win32/wide_text.h"
#include "engine/win32/quote_argument.h"

namespace brindle::engine::win32 {

using common::win32::fullPath;
using common::win32::openNulForChild;
using common::win32::UniqueHandle;
using common::win32::widen;
namespace {

std::wstring environmentBlock(const std::vector<std::string>& env) {
    std::vector<std::wstring> entries;
    for (const std::string& entry : env) entries.push_back(widen(entry));
    // Windows keeps an environment block sorted by name, without regard to case.
    std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    });
    std::wstring block;
    for (const std::wstring& entry : entries) block += entry + L'\0';
    block += L'\0';
    return block;
}

// The list of the only handles a child may inherit.
class InheritOnly {
public:
    explicit InheritOnly(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        // The same handle twice is refused.
        std::sort(handles_.begin(), handles_.end());
        handles_.erase(std::unique(handles_.begin(), handles_.end()), handles_.end());
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_ = std::make_unique<char[]>(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                      handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            list_ = list;
        } else {
            DeleteProcThreadAttributeList(list);
        }
    }
    ~InheritOnly() {
        if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

private:
    std::vector<HANDLE> handles_;
    std::unique_ptr<char[]> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace

bool startHidden(const HiddenStart& start, PROCESS_INFORMATION& process) {
    const UniqueHandle null = openNulForChild();
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = start.input != nullptr ? start.input : null.get();
    startup.StartupInfo.hStdOutput = start.output != nullptr ? start.output : null.get();
    startup.StartupInfo.hStdError = start.error != nullptr ? start.error : null.get();
    InheritOnly only({startup.StartupInfo.hStdInput, startup.StartupInfo.hStdOutput,
                      startup.StartupInfo.hStdError});
    startup.lpAttributeList = only.list();
    DWORD flags = start.flags | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT;
    if (startup.lpAttributeList != nullptr) flags |= EXTENDED_STARTUPINFO_PRESENT;

    const std::wstring program = fullPath(start.program);
    std::wstring line = quoteArgument(widen(start.program));
    for (const std::string& arg : start.args) line += L" " + quoteArgument(widen(arg));
    std::wstring env = environmentBlock(start.env);
    const std::wstring folder = start.workingFolder.empty() ? std::wstring() : fullPath(start.workingFolder);
    process = PROCESS_INFORMATION{};
    return CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, env.data(),
                          folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo,
                          &process) != FALSE;
}

}  // namespace brindle::engine::win32
