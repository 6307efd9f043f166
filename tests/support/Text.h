// Text and file helpers that the end-to-end tests (POSIX only) share:
// quoting for the shell, counting, reading a whole file, running a command,
// waiting for a file to appear.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace spekolar::spktest {

// `s` as one word for a POSIX shell (single quotes, embedded ones escaped).
inline std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

// How often `part` occurs in `text`, overlapping occurrences included.
inline size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The bytes of the file at `path`; empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Runs `command` in the shell; its standard output, and in `exitCode`
// (when given) its exit code, -1 when it did not end normally.
inline std::string CommandOutput(const std::string& command, int* exitCode = nullptr) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (exitCode != nullptr) *exitCode = -1;
    return out;
  }
  char buf[256];
  while (std::fgets(buf, sizeof buf, pipe)) out += buf;
  const int status = ::pclose(pipe);
  if (exitCode != nullptr) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// Waits up to `seconds` for `path` to exist; whether it does.
inline bool WaitForFile(const std::string& path, int seconds = 30) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace spekolar::spktest
