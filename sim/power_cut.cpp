#include "sim/power_cut.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace kestrune::sim {
namespace {

constexpr const char* kVariable = "KESTRUNE_POWER_CUT";

std::string ProcFile(pid_t pid, const char* name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether the environment `pid` started with names the variable.
bool CarriesVariable(pid_t pid) {
  const std::string environment = ProcFile(pid, "environ");
  const std::string prefix = std::string(kVariable) + "=";
  for (size_t start = 0; start < environment.size();) {
    const size_t end = environment.find('\0', start);
    const std::string entry = environment.substr(start, end - start);
    if (entry.rfind(prefix, 0) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

pid_t ParentOf(pid_t pid) {
  const std::string stat = ProcFile(pid, "stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(stat.substr(close + 1));
  std::string state;
  pid_t parent = 0;
  fields >> state >> parent;
  return parent;
}

}  // namespace

bool PowerCutArmed(const char* point) {
  const char* armed = std::getenv(kVariable);
  return armed != nullptr && std::strcmp(armed, point) == 0;
}

void PowerCutAt(const char* point) {
  if (!PowerCutArmed(point)) return;
  std::vector<pid_t> run{::getpid()};
  for (pid_t parent = ParentOf(::getpid()); parent > 1 && CarriesVariable(parent);
       parent = ParentOf(parent)) {
    run.push_back(parent);
  }
  // From the program down, so that none of them sees another end and acts on it.
  for (auto it = run.rbegin(); it != run.rend(); ++it) {
    const pid_t group = ::getpgid(*it);
    if (group > 1 && CarriesVariable(group)) {
      ::kill(-group, SIGKILL);
    } else {
      ::kill(*it, SIGKILL);
    }
  }
  ::kill(::getpid(), SIGKILL);
  for (;;) ::pause();
}

}  // namespace kestrune::sim
