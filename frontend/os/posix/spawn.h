#pragma once
// Starting programs on POSIX: posix_spawn with an argument vector, never a shell, so every
// argument reaches the child as exactly one element whatever bytes it holds.

#include <sys/types.h>

#include <string>
#include <vector>

namespace brindle::posix {

// Starts argv[0] (searched in PATH when it holds no '/') with argv; -1 when it could not start.
pid_t spawn(const std::vector<std::string>& argv);

// Waits for pid to end; its exit status, or -1.
int waitFor(pid_t pid);

}  // namespace brindle::posix
