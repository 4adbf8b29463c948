#include "sabrel/command_line.h"

namespace kestrune::sabrel {

std::optional<Options> ParseCommandLine(std::span<const std::string> args) {
  Options options;
  bool seenList = false;
  bool seenDrive = false;
  bool seenError = false;
  bool seenProgress = false;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      return std::nullopt;
    }
    const std::string& option = args[i];
    const std::string& value = args[i + 1];
    bool* seen = nullptr;
    std::string* target = nullptr;
    if (option == "-c") {
      seen = &seenList;
      target = &options.listPath;
    } else if (option == "-d") {
      seen = &seenDrive;
      target = &options.drive;
    } else if (option == "-e") {
      seen = &seenError;
      target = &options.errorPath;
    } else if (option == "-p") {
      seen = &seenProgress;
      target = &options.progressPath;
    } else {
      return std::nullopt;
    }
    if (*seen) {
      return std::nullopt;
    }
    *seen = true;
    *target = value;
  }
  if (!seenList || !seenDrive || !seenError) {
    return std::nullopt;
  }
  return options;
}

std::string_view UsageText() {
  return "Usage: Sabrel -c LIST -d DRIVE -e ERRORFILE [-p PROGRESSFILE]\n"
         "Checks every file named in LIST against its MD5 digest.\n"
         "  -c LIST       MD5 list: per line a digest, a space and a path below the drive\n"
         "                root (UTF-16LE or UTF-8); relative to the working folder\n"
         "  -d DRIVE      the drive to check: a letter and a colon (E:) on Windows, or a\n"
         "                folder that stands for the drive root\n"
         "  -e ERRORFILE  receives one line per failure; removed when all files match\n"
         "  -p PROGRESSFILE  kept up to date while the check runs: one line with the bytes\n"
         "                read so far, the bytes to read in all and the files listed\n"
         "Exit codes:\n"
         "  0  every listed file exists and matches its digest\n"
         "  1  a file's content differs from its digest\n"
         "  2  a listed file is missing\n"
         "  3  a listed file cannot be read\n"
         "  4  the list cannot be read, is empty or has a malformed line\n"
         "  5  usage (this text)\n"
         "  6  internal failure (MD5 unavailable, out of resources)\n"
         "When files fail in different ways, the largest of their codes is returned.\n";
}

}  // namespace kestrune::sabrel
