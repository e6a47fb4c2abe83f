// The real program started as its own process, as from a terminal: no termination signal
// is ignored, and with `held` blocked a signal sent at once waits for the program's first
// moments.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

inline pid_t SpawnProgram(std::vector<std::string> options, int held = 0) {
  std::vector<std::string> arguments = {VELMORA_BINARY};
  arguments.insert(arguments.end(), options.begin(), options.end());
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  if (held) sigaddset(&blocked, held);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);  // from before the child exists
  pid_t pid = fork();
  if (pid == 0) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return pid;
}
