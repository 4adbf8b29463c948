#include "sim/seven_zip.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace kestrune::sim {

std::string SevenZipProgram() {
  const char* configured = std::getenv("KESTRUNE_7ZZ");
  return configured && *configured ? configured : "7zz";
}

int RunSevenZip(const std::vector<std::string>& arguments) {
  std::vector<std::string> all{SevenZipProgram()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ExtractImage(const std::filesystem::path& image, const std::filesystem::path& folder) {
  return RunSevenZip({"x", "-y", "-bd", "-o" + folder.string(), image.string()}) == 0;
}

}  // namespace kestrune::sim
