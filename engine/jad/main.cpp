// jad: Brindle's decompiler engine on Linux. Brindle starts it once per class
// file as `jad -sjava -8 -ff -d<folder> <class file>`; it writes
// <folder>/<class name>.java, using Procyon (run on the Java VM) for the work.
//
// Exit status: 0 success, 1 the class file could not be decompiled, 2 a bad
// command line or environment. Every failure prints exactly one line on stderr,
// "jad: <class file>: <reason>" (or "jad: <reason>" for a bad command line).
// A failure never touches an older <name>.java: a user who decompiled a class
// before keeps that result when a later attempt fails.
//
// Environment (read once at start):
//   BRINDLE_JAD_JAVA       the java program to start (default: "java" on PATH)
//   BRINDLE_JAD_CLASSPATH  ':'-separated jar list instead of the Debian Procyon jars
//   BRINDLE_JAD_TIMEOUT    seconds a decompile may run (default 120)
//   BRINDLE_JAD_COLD       "1": always start Procyon for this class file, never the service
//
// The resident service: jad-service.jar beside jad is a Java program that keeps
// Procyon loaded. The first jad run that finds none starts it (one per user and
// build, detached, listening on a socket in $XDG_RUNTIME_DIR or
// /tmp/brindle-jad-<uid>); later runs send it the class file's path and write
// the source it answers, the same bytes a cold run gets from Procyon. Without
// the jar, with a socket folder that is not private (one line on stderr), or
// whenever the service does not answer properly, jad starts Procyon itself.
// For tests of the service only:
//   BRINDLE_JAD_SERVICE_IDLE      seconds a new service waits for work before ending (600)
//   BRINDLE_JAD_SERVICE_DELAY_MS  the service waits this long before decompiling
//   BRINDLE_JAD_SERVICE_REQUIRED  "1": fail instead of decompiling without the service

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "class_name.h"
#include "command_line.h"
#include "output_file.h"
#include "service_client.h"

extern char** environ;

namespace {

using namespace brindle::jad;

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr std::size_t kMaxClassFileSize = 256u << 20;
constexpr std::string_view kDriverClass = "com.strobel.decompiler.DecompilerDriver";

struct Settings {
    std::string java = "java";
    std::vector<std::string> classPath;
    int timeoutSeconds = 120;
    bool cold = false;
    bool serviceRequired = false;
    unsigned serviceIdleSeconds = 600;
    unsigned serviceDelayMillis = 0;
};

// Error lines must stay single lines even when a path holds a newline.
std::string printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            constexpr std::string_view kHex = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

void printLine(const std::string& line) {
    const std::string text = printable(line) + "\n";
    // Nothing useful is left to do when stderr itself fails.
    (void)std::fwrite(text.data(), 1, text.size(), stderr);
    (void)std::fflush(stderr);
}

int fail(const std::string& classFile, const std::string& reason) {
    printLine("jad: " + classFile + ": " + reason);
    return kFailed;
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::vector<std::string> split(const std::string& list, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(separator, start), list.size());
        if (end > start) parts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Returns an error text when the environment holds a bad value.
std::string readSettings(Settings& settings) {
    if (auto java = environment("BRINDLE_JAD_JAVA")) settings.java = *java;

    if (auto list = environment("BRINDLE_JAD_CLASSPATH")) {
        settings.classPath = split(*list, ':');
    } else {
        for (const char* jar : {"procyon-decompiler", "procyon-compilertools", "procyon-core",
                                "procyon-expressions", "procyon-reflection", "jcommander"})
            settings.classPath.push_back(std::string("/usr/share/java/") + jar + ".jar");
    }

    std::string error;
    auto number = [&error](const char* name, long long low, long long high, long long& into) {
        const std::optional<std::string> text = environment(name);
        if (!text || !error.empty()) return;
        long long value = 0;
        bool good = text->size() <= 9;
        for (const char c : *text) {
            good = good && c >= '0' && c <= '9';
            value = value * 10 + (c - '0');
        }
        if (!good || value < low || value > high) {
            const bool seconds = std::string_view(name).ends_with("_TIMEOUT") ||
                                 std::string_view(name).ends_with("_IDLE");
            error = std::string(name) + " must be a whole number of " +
                    (seconds ? "seconds" : "milliseconds") + " from " + std::to_string(low) +
                    " to " + std::to_string(high) + ", not \"" + *text + "\"";
            return;
        }
        into = value;
    };
    constexpr long long kWeek = 7 * 24 * 3600;
    long long timeout = settings.timeoutSeconds;
    long long idle = settings.serviceIdleSeconds;
    long long delay = 0;
    number("BRINDLE_JAD_TIMEOUT", 1, kWeek, timeout);
    number("BRINDLE_JAD_SERVICE_IDLE", 1, kWeek, idle);
    number("BRINDLE_JAD_SERVICE_DELAY_MS", 0, kWeek * 1000, delay);
    if (!error.empty()) return error;
    settings.timeoutSeconds = static_cast<int>(timeout);
    settings.serviceIdleSeconds = static_cast<unsigned>(idle);
    settings.serviceDelayMillis = static_cast<unsigned>(delay);
    settings.cold = environment("BRINDLE_JAD_COLD") == "1";
    settings.serviceRequired = environment("BRINDLE_JAD_SERVICE_REQUIRED") == "1";
    return {};
}

// jad may be started with a standard descriptor closed; the pipes for java
// must not land on 0, 1 or 2.
void ensureStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            const int opened = open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != fd) close(opened);
        }
    }
}

std::string readClassFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    // O_NONBLOCK keeps a FIFO from blocking the open; a regular file ignores it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::string("cannot open: ") + std::strerror(errno);
    struct stat st {};
    std::string error;
    if (fstat(fd, &st) != 0) {
        error = std::string("cannot read: ") + std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        error = "is a folder, not a class file";
    } else if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
    } else if (static_cast<std::uintmax_t>(st.st_size) > kMaxClassFileSize) {
        error = "not a class file (larger than 256 MiB)";
    } else {
        char buf[65536];
        for (;;) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                error = std::string("cannot read: ") + std::strerror(errno);
                break;
            }
            bytes.insert(bytes.end(), buf, buf + n);
            if (bytes.size() > kMaxClassFileSize) {
                error = "not a class file (larger than 256 MiB)";
                break;
            }
        }
    }
    close(fd);
    return error;
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A name with a '/' is used as it is; a bare name is looked up on PATH.
std::optional<std::string> findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? std::optional(name) : std::nullopt;
    const char* path = std::getenv("PATH");
    const std::string search = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= search.size()) {
        const std::size_t end = std::min(search.find(':', start), search.size());
        const std::string dir = end > start ? search.substr(start, end - start) : ".";
        const std::string candidate = joinPath(dir, name);
        if (isExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1Fu;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0Fu;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07u;
        } else {
            return false;
        }
        if (s.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        const std::uint32_t smallest = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

bool endsWithClass(std::string_view path) {
    constexpr std::string_view suffix = ".class";
    if (path.size() <= suffix.size()) return false;
    const std::string_view tail = path.substr(path.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const char c = tail[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != suffix[i]) return false;
    }
    return true;
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    std::vector<char> buf(4096);
    while (getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE) return path;
        buf.resize(buf.size() * 2);
    }
    return joinPath(buf.data(), path);
}

std::vector<std::string> childEnvironment() {
    // Java decodes its arguments by the locale; under a C locale a path holding
    // non-ASCII characters would reach Procyon as question marks.
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view e = *entry;
        if (!e.starts_with("LC_ALL=")) env.emplace_back(e);
    }
    env.emplace_back("LC_ALL=C.UTF-8");
    return env;
}

// The first non-empty line of what java printed on stderr, for the error line.
std::string firstLine(const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (!line.empty()) return line.size() > 300 ? line.substr(0, 300) + "..." : line;
        start = end + 1;
    }
    return {};
}

std::string withDetail(std::string reason, const std::string& javaStderr) {
    const std::string detail = firstLine(javaStderr);
    if (!detail.empty()) reason += ": " + detail;
    return reason;
}

bool isBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

[[noreturn]] void dieBySignal(int sig) {
    (void)std::signal(sig, SIG_DFL);
    (void)std::raise(sig);
    std::_Exit(128 + sig);
}

// The failure line for a cold run that gave no source; 0 when it gave one.
int checkColdRun(const std::string& file, const std::string& java, const Settings& settings,
                 const ChildResult& run) {
    using Outcome = ChildResult::Outcome;
    switch (run.outcome) {
        case Outcome::StartFailed:
            return fail(file, "cannot start " + java + ": " + std::strerror(run.status));
        case Outcome::TimedOut:
            return fail(file, "timed out after " + std::to_string(settings.timeoutSeconds) + " s");
        case Outcome::OutputTooLarge:
            return fail(file, "the decompiled source is larger than 256 MiB");
        case Outcome::Interrupted:
            fail(file, "interrupted");
            dieBySignal(run.status);
        case Outcome::Signaled:
            return fail(file, withDetail("decompiler ended by signal " + std::to_string(run.status),
                                         run.err));
        case Outcome::Exited:
            break;
    }
    if (run.status != 0)
        return fail(file, withDetail("decompiler failed (java exit status " +
                                         std::to_string(run.status) + ")",
                                     run.err));
    // Procyon exits with 0 even when it could not load the class; it then prints nothing.
    if (isBlank(run.out)) return fail(file, withDetail("decompiler produced no output", run.err));
    return 0;
}

// jad-service.jar in jad's own folder.
std::string serviceJar() {
    std::vector<char> buf(4096);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
    std::string self(buf.data(), static_cast<std::size_t>(n));
    const std::size_t slash = self.rfind('/');
    if (slash == std::string::npos) return {};
    return self.substr(0, slash + 1) + "jad-service.jar";
}

int decompile(const CommandLine& line, const Settings& settings) {
    const std::string& file = line.classFile;

    std::vector<std::uint8_t> bytes;
    if (std::string error = readClassFile(file, bytes); !error.empty()) return fail(file, error);
    const ClassNameResult name = readClassName(bytes);
    if (!name.ok()) return fail(file, name.error);

    // Procyon treats an argument as a class file only when it ends in ".class";
    // anything else it takes for a type name. An absolute path also keeps its
    // option parser from reading a leading '-' or '@'.
    if (!endsWithClass(file))
        return fail(file, "the decompiler only opens files whose name ends in .class");
    const std::string absolute = absolutePath(file);
    if (!isValidUtf8(absolute))
        return fail(file, "the path is not valid UTF-8, so the decompiler cannot open it");

    const std::optional<std::string> java = findProgram(settings.java);
    if (!java) {
        if (settings.java.find('/') != std::string::npos)
            return fail(file, "java not found at " + settings.java);
        return fail(file, "java not found on PATH");
    }
    std::string classPath;
    for (const std::string& jar : settings.classPath) {
        struct stat st {};
        if (stat(jar.c_str(), &st) != 0)
            return fail(file, "Procyon decompiler not found (missing " + jar + ")");
        classPath += (classPath.empty() ? "" : ":") + jar;
    }
    if (classPath.empty()) return fail(file, "Procyon decompiler not found (empty class path)");

    const std::vector<std::string> env = childEnvironment();
    const std::string workingFolder = absolutePath(".");
    // The service gets both paths as UTF-8 text.
    const std::string jar = settings.cold || !isValidUtf8(workingFolder) ? std::string() : serviceJar();
    std::string source;
    bool haveSource = false;
    if (!jar.empty()) {
        ServiceRequest ask;
        ask.java = *java;
        ask.classPath = settings.classPath;
        ask.serviceJar = jar;
        ask.env = env;
        ask.timeout = std::chrono::seconds(settings.timeoutSeconds);
        ask.idleSeconds = settings.serviceIdleSeconds;
        ask.testDelayMillis = settings.serviceDelayMillis;
        ask.classFile = absolute;
        ask.workingFolder = workingFolder;
        ServiceAnswer answer = askService(ask);
        if (!answer.warning.empty()) printLine("jad: " + answer.warning);
        using Kind = ServiceAnswer::Kind;
        switch (answer.kind) {
            case Kind::Source:
                source = std::move(answer.text);
                haveSource = true;
                break;
            case Kind::NoSource:
                return fail(file, withDetail("decompiler produced no output", answer.text));
            case Kind::TimedOut:
                return fail(file,
                            "timed out after " + std::to_string(settings.timeoutSeconds) + " s");
            case Kind::TooLarge:
                return fail(file, "the decompiled source is larger than 256 MiB");
            case Kind::RunCold:
                if (settings.serviceRequired)
                    return fail(file, "the decompiler service did not answer: " + answer.text);
                break;
        }
    }
    if (!haveSource) {
        ChildRequest request;
        request.program = *java;
        // No perf data file: a java killed on a time-out would leave it in /tmp.
        request.args = {"-XX:-UsePerfData", "-cp", classPath, std::string(kDriverClass),
                        absolute};
        request.env = env;
        request.timeout = std::chrono::seconds(settings.timeoutSeconds);
        ChildResult run = runChild(request);
        if (const int failed = checkColdRun(file, *java, settings, run); failed != 0)
            return failed;
        source = std::move(run.out);
    }
    if (isBlank(source)) return fail(file, "decompiler produced no output");

    if (std::string error = makeFolders(line.folder); !error.empty()) return fail(file, error);
    if (std::string error = replaceFile(line.folder, name.simpleName + ".java", source);
        !error.empty())
        return fail(file, error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ensureStandardDescriptors();
    (void)std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const CommandLineResult command = parseCommandLine(args);
    if (!command.ok()) {
        printLine("jad: " + command.error + " (usage: jad [-options] -d<folder> <class file>)");
        return kUsage;
    }

    Settings settings;
    if (std::string error = readSettings(settings); !error.empty()) {
        printLine("jad: " + error);
        return kUsage;
    }
    return decompile(command.line, settings);
}
