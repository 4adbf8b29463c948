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

extern char** environ;

namespace kestrune::sabrel::testing {

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "sabrel-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Tests make folders unreadable; give them back before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string Md5Hex(std::string_view bytes) {
  Md5 md5;
  md5.Begin();
  md5.Update(std::as_bytes(std::span(bytes.data(), bytes.size())));
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
  std::u16string units;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (int k = 1; k < length; ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += static_cast<std::size_t>(length);
    if (c >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(c);
    }
  }
  return Utf16Le(units);
}

DriveSet& DriveSet::Add(const std::string& relative, std::string_view content) {
  WriteBytes(root_ / relative, content);
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
  WriteBytes(listPath, Utf16LeFromUtf8(ListText()));
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
  run.out = ReadBytes(outPath);
  run.err = ReadBytes(errPath);
  return run;
}

}  // namespace kestrune::sabrel::testing
