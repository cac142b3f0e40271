#pragma once
// The folder that holds the user's service sockets on POSIX, private to the user.

#include <optional>
#include <string>

namespace brindle::engine {

// The folder an XDG_RUNTIME_DIR value names: the value when it is an absolute path, else (unset,
// empty or relative, which the XDG rules say to ignore) nullopt.
std::optional<std::string> runtimeFolder(const char* xdgRuntimeDir);

// Sets folder to the socket folder: the runtime folder, or /tmp/brindle-jad-<uid> (created when
// missing). Either must be a folder (not a link) of the user with mode 0700. Returns why it
// cannot be used, empty when it can.
std::string privateSocketFolder(std::string& folder);

}  // namespace brindle::engine
