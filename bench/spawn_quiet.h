// Starting a program from a benchmark: kvxw (auto, sim) runs beside the timed code with its
// output thrown away, and the benchmark waits for it or stops it.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace bench {

// This process's environment, one "NAME=value" an entry, for a child that gets a few more.
inline std::vector<std::string> Environment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  return env;
}

// Starts args[0] with `args` and `env`; its standard output (and standard error, unless
// `keepErrors`) goes to /dev/null. The child's pid, or -1 when it could not start.
inline pid_t SpawnQuiet(std::vector<std::string> args, std::vector<std::string> env,
                        bool keepErrors = false) {
  const auto pointers = [](std::vector<std::string>& v) {
    std::vector<char*> out;
    for (std::string& s : v) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
  };
  std::vector<char*> argv = pointers(args);
  std::vector<char*> envp = pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (!keepErrors)
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace bench
