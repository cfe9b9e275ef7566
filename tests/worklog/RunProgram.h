// Runs a fixed program with a fixed argument list (no shell) and gives back
// what it wrote to stdout; empty when it could not start or did not exit 0.
// For tests that ask a tool (ffprobe) about a file they made themselves.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace testutil {

inline std::string RunProgram(std::vector<std::string> args) {
  int out[2];
  if (args.empty() || pipe(out) != 0) {
    return "";
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char chunk[4096];
  for (ssize_t got; (got = read(out[0], chunk, sizeof chunk)) > 0;) {
    text.append(chunk, static_cast<size_t>(got));
  }
  close(out[0]);
  int status = 0;
  if (spawned == 0) {
    waitpid(pid, &status, 0);
  }
  return spawned == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "";
}

}  // namespace testutil
