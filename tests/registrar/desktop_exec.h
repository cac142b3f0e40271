#pragma once
// Reads an Exec value back the way a desktop-entry launcher does: first the string escapes of
// the key file, then the Exec quoting. Field codes stay as they are ("%f"), "%%" becomes "%".
// Kept apart from the registrar's own code so that the tests check it against the rules, not
// against itself.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::testing {

inline std::optional<std::string> unescapeString(std::string_view value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            text += value[i];
            continue;
        }
        if (++i == value.size()) return std::nullopt;
        switch (value[i]) {
            case 's': text += ' '; break;
            case 'n': text += '\n'; break;
            case 't': text += '\t'; break;
            case 'r': text += '\r'; break;
            case '\\': text += '\\'; break;
            default: return std::nullopt;
        }
    }
    return text;
}

// The arguments of an Exec value; nullopt when it breaks the rules.
inline std::optional<std::vector<std::string>> parseExec(std::string_view value) {
    const auto text = unescapeString(value);
    if (!text) return std::nullopt;
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    for (std::size_t i = 0; i < text->size(); ++i) {
        const char c = (*text)[i];
        if (c == ' ') {
            if (inArgument) arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            inArgument = true;
            for (++i;; ++i) {
                if (i == text->size()) return std::nullopt;  // no closing quote
                const char q = (*text)[i];
                if (q == '"') break;
                if (q == '\\') {
                    if (++i == text->size()) return std::nullopt;
                    const char e = (*text)[i];
                    if (e != '"' && e != '`' && e != '$' && e != '\\') return std::nullopt;
                    current += e;
                } else if (q == '`' || q == '$') {
                    return std::nullopt;  // must be escaped inside quotes
                } else if (q == '%') {
                    if (++i == text->size() || (*text)[i] != '%') return std::nullopt;
                    current += '%';
                } else {
                    current += q;
                }
            }
        } else if (c == '%' && i + 1 < text->size() && (*text)[i + 1] == '%') {
            current += '%';
            ++i;
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) arguments.push_back(current);
    return arguments;
}

}  // namespace brindle::testing
