#pragma once
// The record format shared by the fake engine and the fake viewer: each start appends
//   "call\n" then, per item, "<length>:<bytes>\n", then "end\n"
// to "<program file>.log". On Linux the items are the arguments after the program name; on
// Windows there is one item, the whole command line as the program received it.

#include <cstdio>
#include <string>
#include <vector>

namespace brindle::fakes {

inline void appendCall(const std::string& logPath, const std::vector<std::string>& items) {
    std::FILE* log = std::fopen(logPath.c_str(), "ab");
    if (log == nullptr) return;
    std::string record = "call\n";
    for (const std::string& item : items) {
        record += std::to_string(item.size()) + ":" + item + "\n";
    }
    record += "end\n";
    std::fwrite(record.data(), 1, record.size(), log);
    std::fclose(log);
}

// Every call recorded in logPath, each as its items; empty when there is no log.
inline std::vector<std::vector<std::string>> readCalls(const std::string& logPath) {
    std::vector<std::vector<std::string>> calls;
    std::FILE* log = std::fopen(logPath.c_str(), "rb");
    if (log == nullptr) return calls;
    std::string text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, log)) > 0;) text.append(buffer, got);
    std::fclose(log);

    std::size_t at = 0;
    while (text.compare(at, 5, "call\n") == 0) {
        at += 5;
        std::vector<std::string> items;
        while (at < text.size() && text.compare(at, 4, "end\n") != 0) {
            const std::size_t colon = text.find(':', at);
            if (colon == std::string::npos) return calls;
            const std::size_t length = std::stoul(text.substr(at, colon - at));
            items.push_back(text.substr(colon + 1, length));
            at = colon + 1 + length + 1;
        }
        if (at >= text.size()) return calls;  // a record still being written
        at += 4;
        calls.push_back(std::move(items));
    }
    return calls;
}

}  // namespace brindle::fakes
