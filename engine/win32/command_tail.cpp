#include "engine/win32/command_tail.h"

namespace brindle::engine::win32 {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool atEnd() const { return at_ >= text_.size(); }
    char peek() const { return text_[at_]; }
    void skipBlanks() {
        while (!atEnd() && isBlank(peek())) ++at_;
    }

    void skipProgramName() {
        if (!atEnd() && peek() == '"') {
            const std::size_t close = text_.find('"', at_ + 1);
            at_ = close == std::string_view::npos ? text_.size() : close + 1;
        }
        while (!atEnd() && !isBlank(peek())) ++at_;
    }

    // One word: up to a blank outside quotes; the quotes themselves are dropped.
    std::string word() {
        std::string out;
        bool quoted = false;
        for (; !atEnd() && (quoted || !isBlank(peek())); ++at_) {
            if (peek() == '"') {
                quoted = !quoted;
            } else {
                out += peek();
            }
        }
        return out;
    }

    // The class file: the rest of the line (see the header).
    void rest(std::vector<std::string>& into) {
        std::string_view tail = text_.substr(at_);
        while (!tail.empty() && isBlank(tail.back())) tail.remove_suffix(1);
        at_ = text_.size();
        if (tail.starts_with('"')) {
            const std::size_t close = tail.find('"', 1);
            into.emplace_back(tail.substr(1, close == std::string_view::npos ? tail.npos : close - 1));
            if (close == std::string_view::npos) return;
            std::string_view after = tail.substr(close + 1);
            while (!after.empty() && isBlank(after.front())) after.remove_prefix(1);
            if (!after.empty()) into.emplace_back(after);
            return;
        }
        std::string path;
        for (const char c : tail) {
            if (c != '"') path += c;
        }
        into.push_back(path);
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view commandLine) {
    std::vector<std::string> args;
    Reader reader(commandLine);
    reader.skipProgramName();
    for (;;) {
        reader.skipBlanks();
        if (reader.atEnd()) return args;
        if (reader.peek() != '-') break;
        args.push_back(reader.word());
        if (args.back() == "--") break;
        if (args.back() == "-d") {
            reader.skipBlanks();
            if (!reader.atEnd()) args.push_back(trimFolder(reader.word()));
        } else if (args.back().starts_with("-d")) {
            args.back() = "-d" + trimFolder(args.back().substr(2));
        }
    }
    reader.skipBlanks();
    if (!reader.atEnd()) reader.rest(args);
    return args;
}

std::string trimFolder(std::string folder) {
    // Keep one separator after a drive ("C:\") and the leading pair of a share ("\\server").
    const std::size_t keep = folder.size() >= 2 && folder[1] == ':' ? 3 : 2;
    while (folder.size() > keep && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (keep == 3 && folder.size() == 3 && folder[2] == '/') folder[2] = '\\';
    return folder;
}

}  // namespace brindle::engine::win32
