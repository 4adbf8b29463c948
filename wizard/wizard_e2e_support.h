#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_test_support.h"
#include "tools/sample_set.h"

namespace kestrune::testing {

/// What one run of the Linux kestrixdw printed, wrote and returned.
struct WizardRun {
  std::string output;                   ///< standard output: the result line
  std::vector<std::string> transcript;  ///< the scripted front end's lines
  int status = -1;                      ///< exit status
  int signal = 0;                       ///< the signal that ended it, 0 when it exited
  std::string errors;                   ///< standard error

  /// True when some transcript line equals `line`.
  bool Has(const std::string& line) const;
  /// The transcript lines that start with `prefix`.
  std::vector<std::string> Lines(const std::string& prefix) const;
  /// The transcript as one text, for failure messages.
  std::string Text() const;
};

/// Whether a file name is one of the verification reports a run leaves in the image folder
/// ("KestruneReport-....txt" or ".json").
bool IsReportFile(const std::string& name);
/// The names of the reports in `folder`, sorted.
std::vector<std::string> ReportFiles(const std::filesystem::path& folder);

/// Runs kestrixdw in the wizard mode on `machine` with `script` on standard input, the
/// scripted front end, jumping timers and `timeoutSeconds` per wait. `arguments` follow
/// "/Mode:Fernlow"; `environment` adds or replaces variables (LANG="" removes it).
WizardRun RunWizard(const std::filesystem::path& machine, const std::string& script,
                    const std::vector<std::string>& arguments,
                    const std::map<std::string, std::string>& environment = {},
                    int timeoutSeconds = 30);

/// kestrixdw running in the background, its script written line by line, so that a test can
/// look at the machine while the wizard waits.
class WizardProcess {
 public:
  WizardProcess(const std::filesystem::path& machine, const std::vector<std::string>& arguments,
                int timeoutSeconds = 30,
                const std::map<std::string, std::string>& environment = {});
  ~WizardProcess();
  WizardProcess(const WizardProcess&) = delete;
  WizardProcess& operator=(const WizardProcess&) = delete;

  /// Sends script lines.
  void Send(const std::string& lines);
  /// Waits until the transcript has a line equal to `line`; false after 30 s.
  bool WaitForLine(const std::string& line);
  /// Ends the script and waits for the program.
  WizardRun Finish();

 private:
  std::filesystem::path folder_;
  int scriptFd_ = -1;
  int pid_ = -1;
};

/// A sample recovery set of `discs` small images, made once per test program and count.
const std::vector<std::filesystem::path>& SampleDiscs(int discs, uint64_t bytesPerDisc = 1 << 20);

}  // namespace kestrune::testing
