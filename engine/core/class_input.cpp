#include "engine/core/class_input.h"

#include "common/utf8.h"

namespace brindle::engine {

bool decompilerOpensPath(std::string_view absolutePath) {
    constexpr std::string_view kSuffix = ".class";
    const std::size_t slash = absolutePath.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? absolutePath : absolutePath.substr(slash + 1);
    if (name.size() <= kSuffix.size() || !common::isUtf8(absolutePath)) return false;
    const std::string_view tail = name.substr(name.size() - kSuffix.size());
    for (std::size_t i = 0; i < kSuffix.size(); ++i) {
        const char c = tail[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kSuffix[i]) return false;
    }
    return true;
}

bool isNestedIn(std::string_view outerInternalName, std::string_view internalName) {
    return internalName.size() > outerInternalName.size() + 1 &&
           internalName.starts_with(outerInternalName) &&
           internalName[outerInternalName.size()] == '$';
}

std::string copyName(std::string_view simpleName) {
    return std::string(simpleName) + ".class";
}

bool mayHoldNestedClass(std::string_view fileName) {
    return fileName.find('$') != std::string_view::npos;
}

}  // namespace brindle::engine
