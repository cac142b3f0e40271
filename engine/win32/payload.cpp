#include "engine/win32/payload.h"

#include <windows.h>
#include <shlobj.h>

#include <string_view>

#include "common/files.h"
#include "common/win32/wide_text.h"
#include "engine/win32/sha256.h"

namespace brindle::engine::win32 {
namespace {

std::wstring localAppData() {
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, 32768);
    if (length > 0 && length < 32768) return std::wstring(buffer, length);
    std::wstring folder;
    wchar_t* known = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known))) folder = known;
    CoTaskMemFree(known);
    return folder;
}

std::string_view resourceBytes(int id) {
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
    if (found == nullptr) return {};
    const HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {};
    return {static_cast<const char*>(bytes), SizeofResource(nullptr, found)};
}

// The digest of a file's bytes, empty when it cannot be read or its size is not `size`.
std::string fileDigest(const std::string& path, std::size_t size) {
    std::string bytes;
    if (common::readWholeFile(path, size, bytes, nullptr) != common::ReadStatus::Ok ||
        bytes.size() != size)
        return {};
    return sha256Hex(bytes);
}

}  // namespace

std::string payloadFolder(Payload& payload) {
    const std::wstring base = localAppData();
    if (base.empty()) return "cannot find the user's local application data folder";
    const std::string appData = common::win32::narrow(base);
    // The user's own folder exists; what Jad.exe creates below it is the user's alone.
    const std::string folder =
        common::joinPath(common::joinPath(common::joinPath(appData, "Brindle"), "Jad"), kPayloadName);
    if (std::string error; !common::makeFolders(folder, common::NewFolders::Private, &error))
        return error;

    payload.folder = folder;
    payload.classPath.clear();
    for (const PayloadFile& file : kPayloadFiles) {
        const std::string_view name = file.name;
        const std::string path = common::joinPath(folder, file.name);
        if (name == "jad-service.jar") {
            payload.serviceJar = path;
        } else if (name == "java-options.txt") {
            payload.javaOptions = path;
        } else if (name == "vineflower\\vineflower.mjs") {
            payload.vineflowerScript = path;
        } else if (name.ends_with(".jar") && name.find('\\') == std::string_view::npos) {
            payload.classPath.push_back(path);
        }
    }
    return {};
}

std::string unpackPayload(const Payload& payload) {
    for (const PayloadFile& file : kPayloadFiles) {
        const std::string_view bytes = resourceBytes(file.resourceId);
        const std::string path = common::joinPath(payload.folder, file.name);
        if (!bytes.empty() && fileDigest(path, bytes.size()) == file.sha256) continue;
        if (bytes.empty() || sha256Hex(bytes) != file.sha256)
            return std::string("Jad.exe is damaged: its copy of ") + file.name +
                   " does not match; copy Jad.exe again";
        const std::string folder = path.substr(0, path.find_last_of('\\'));
        if (std::string error; folder != payload.folder &&
                               !common::makeFolders(folder, common::NewFolders::Private, &error))
            return error;
        if (std::string error; !common::replaceFile(path, bytes, {}, &error)) return error;
    }
    return {};
}

}  // namespace brindle::engine::win32
