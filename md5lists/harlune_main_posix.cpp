// harlune: the Linux build of the MD5 list splitter.
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "md5lists/harlune_program.h"
#include "text/utf8.h"

namespace {

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // nowhere left to report it
    done += static_cast<size_t>(written);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrune::harlune;
  using namespace kestrune::text;
  std::vector<ProgramArgument> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back({Utf16FromUtf8(argv[i], InvalidUtf8::kEscape), argv[i]});
  }
  const ProgramResult result = RunHarlune(arguments);
  WriteAll(STDOUT_FILENO, Utf8FromUtf16(result.standardOutput));
  WriteAll(STDERR_FILENO, Utf8FromUtf16(result.standardError));
  return result.exitCode;
}
