#pragma once
// What the benchmarks share: a free port, waiting for a server, child processes in their own
// process group.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// A free TCP port on 127.0.0.1.
int FreePort();
// True once something accepts connections on the port (gives up after 10 s).
bool Answers(int port);
// Starts argv[0] (searched in PATH) with stdout to `out` and stderr to `err` (the same file
// when they are equal); the child leads its own process group.
pid_t Spawn(const std::vector<std::string>& argv, const std::filesystem::path& out,
            const std::filesystem::path& err);

}  // namespace bench
