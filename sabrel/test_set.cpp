#include "sabrel/test_set.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sabrel/digest_text.h"
#include "sabrel/md5.h"
#include "text/utf8.h"

extern char** environ;

namespace kestrune::sabrel::testing {

std::string Md5Hex(std::string_view bytes) {
  Md5 md5;
  if (!md5.Begin() || !md5.Update(std::as_bytes(std::span(bytes.data(), bytes.size())))) {
    throw std::runtime_error("MD5 is not available");
  }
  return DigestToHex(*md5.Finish());
}

std::string Utf16Le(std::u16string_view text, bool withMark) {
  std::string bytes = withMark ? std::string("\xFF\xFE") : std::string();
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string Utf16LeFromUtf8(std::string_view utf8) {
  return Utf16Le(text::Utf16FromUtf8(utf8, text::InvalidUtf8::kReplace));
}

DriveSet& DriveSet::Add(const std::string& relative, std::string_view content) {
  WriteFile(root_ / relative, content);
  std::string listed = relative;
  for (char& c : listed) {
    if (c == '/') c = '\\';
  }
  lines_.emplace_back(listed, Md5Hex(content));
  return *this;
}

std::string DriveSet::ListText() const {
  std::string text;
  for (const auto& [path, digest] : lines_) {
    text += digest + " " + path + "\r\n";
  }
  return text;
}

void DriveSet::WriteList(const fs::path& listPath) const {
  WriteFile(listPath, Utf16LeFromUtf8(ListText()));
}

ProgramRun RunProgram(const fs::path& program, const std::vector<std::string>& args,
                      const fs::path& folder) {
  TempFolder outputs;
  const std::string outPath = (outputs.path() / "out").string();
  const std::string errPath = (outputs.path() / "err").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> argv0 = {program.string()};
  argv0.insert(argv0.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv0) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ProgramRun run;
  if (spawned != 0) return run;
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  return run;
}

}  // namespace kestrune::sabrel::testing
