#pragma once

// The runner of the fault matrix (wizard/fault_matrix_test.cpp, docs/fault-matrix.md): one
// row is a fault, how it is injected on a temporary simulated machine, the script of the run,
// what the user sees and the state word printed; the runner makes the same "nothing else
// changed" checks for every row.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sim/default_machine.h"
#include "sim/machine_actions.h"
#include "sim/registry_hive.h"
#include "wizard/wizard_e2e_support.h"

namespace kestrune::testing::matrix {

namespace fs = std::filesystem;
using sim::MachineDescription;

/// The default machine's USB stick, by the instance id that names it whatever its number.
inline const std::string& StickDevice() {
  static const std::string device = sim::DefaultMachineDescription().disks[1].pnpDeviceId;
  return device;
}

/// What the run leaves of the target stick (the default machine's, found by its device).
enum class Stick {
  kUntouched,   ///< every disk as it was: nothing was written
  kWiped,       ///< cleaned, no partition: wiped, nothing built
  kIncomplete,  ///< built, then labelled INCOMPLETE and not active
  kComplete,    ///< one active partition holding the set
  kGone,        ///< pulled out during the run
  kRowsCheck,   ///< as the row's own check says
};

class Bench;

/// One part of a row's run: script lines to send, then a wait for the machine to show
/// something (the script's own waits see only the wizard), then something done to it.
struct Step {
  std::string send;
  std::function<bool(Bench&)> until;
  std::function<void(Bench&)> then;
};

/// What the run writes: the USB stick (the recorder must stay as it was) or discs (every disk
/// must stay as it was).
enum class Medium { kUsb, kDisc };

struct Row {
  const char* name = "";  ///< the test's name
  Medium medium = Medium::kUsb;
  /// Changes the bench before the run: the machine's description, the images, the folder.
  std::function<void(Bench&)> inject = nullptr;
  std::vector<Step> steps = {};
  std::vector<uint32_t> boxes = {};  ///< the message boxes the user sees, in order
  uint32_t state = 0;           ///< the state word printed
  Stick stick = Stick::kUntouched;
  uint32_t discsWritten = 0;
  /// What only this row checks.
  std::function<void(Bench&, const WizardRun&)> check = nullptr;
  /// The run abandons a worker that does not end: the process ends at once, and its work
  /// area is left for the restart that deletes it.
  bool workAreaLeftForRestart = false;
};

inline void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

/// A step that only sends script lines.
inline Step Send(std::string lines) { return {std::move(lines), nullptr, nullptr}; }
/// A step that waits until the machine shows `condition`, then does `action`.
inline Step When(std::function<bool(Bench&)> condition, std::function<void(Bench&)> action = {}) {
  return {"", std::move(condition), std::move(action)};
}

/// A digest of a file's bytes (FNV-1a), read in pieces. Files past 64 MiB (sparse images of
/// many gigabytes) are judged by size and time of last write: a change writes them.
inline std::string Fingerprint(const fs::path& file) {
  std::error_code error;
  const uintmax_t size = fs::file_size(file, error);
  if (error) return "<unreadable>";
  if (size > (64u << 20)) {
    const auto written = fs::last_write_time(file, error).time_since_epoch().count();
    return std::to_string(size) + " bytes, written " + std::to_string(written);
  }
  std::ifstream in(file, std::ios::binary);
  uint64_t hash = 14695981039346656037ull;
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      hash = (hash ^ static_cast<unsigned char>(buffer[static_cast<size_t>(i)])) * 1099511628211ull;
    }
  }
  return std::to_string(size) + " bytes, " + std::to_string(hash);
}

/// Every entry below `folder` with its bytes (a link as its target, never followed).
inline std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(folder, error))) {
    entries[""] = fs::exists(fs::symlink_status(folder, error)) ? "<not a folder>" : "<none>";
    return entries;
  }
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = fs::relative(it->path(), folder).string();
    // The run's verification report is the one file it may leave (and it is checked apart).
    if (IsReportFile(name)) continue;
    if (it->is_symlink()) {
      entries[name] = "-> " + fs::read_symlink(it->path()).string();
    } else if (it->is_regular_file()) {
      entries[name] = Fingerprint(it->path());
    } else {
      entries[name] = "<folder>";
    }
  }
  return entries;
}

inline std::string Text(const std::map<std::string, std::string>& entries) {
  std::string text;
  for (const auto& [name, what] : entries) text += " " + name + "=" + what;
  return text;
}

/// The temporary machine, the image folder (the set and the user's files), the user's
/// Documents and what the run was started with; and the machine as it was before the run.
class Bench {
 public:
  Bench() {
    fs::create_directories(Images());
    fs::create_directories(Markers());
    UseSampleSet(2);
    WriteFile(Images() / "notes.txt", "the user's notes beside the images");
    WriteFile(documents_.path() / "letter.txt", "the user's letter");
    WriteFile(documents_.path() / "photos" / "holiday.jpg", "jpeg");
    WriteFile(machine_.machine().VolumeFolder('F') / "old.txt", "what the stick held");
  }

  sim::testing::TemporaryMachine& machine() { return machine_; }
  MachineDescription Read() { return machine_.Read(); }
  void Change(const std::function<void(MachineDescription&)>& change) {
    machine_.Change(change);
  }
  fs::path Volume(char letter) { return machine_.machine().VolumeFolder(letter); }

  fs::path Images() const { return folder_.path() / "images"; }
  fs::path Documents() const { return documents_.path(); }
  /// Where planted programs leave a mark when they run.
  fs::path Markers() const { return folder_.path() / "markers"; }
  /// A folder of the bench's own, for making images.
  fs::path Work() const { return folder_.path() / "work"; }

  /// The label, the state word and the images, as the wizard is started.
  std::vector<std::string> arguments;
  std::map<std::string, std::string> environment;

  /// The sample set of `discs` images, copied into the image folder (replacing the set).
  void UseSampleSet(int discs) {
    for (size_t i = 2; i < arguments.size(); ++i) fs::remove(arguments[i]);
    arguments = {"Sample", "0"};
    for (const auto& image : SampleDiscs(discs)) {
      fs::copy_file(image, Images() / image.filename(), fs::copy_options::overwrite_existing);
      arguments.push_back((Images() / image.filename()).string());
    }
  }
  /// The images as they are in the image folder.
  fs::path Image(size_t index) const { return arguments.at(2 + index); }

  /// 7-Zip that first waits `seconds` whenever its command line matches the shell pattern
  /// `pattern`: a stage held without changing what 7-Zip does.
  void SlowSevenZip(const std::string& pattern, int seconds) {
    const fs::path wrapper = folder_.path() / "slow-7zz";
    WriteFile(wrapper, "#!/bin/sh\ncase \"$*\" in " + pattern + ") sleep " +
                           std::to_string(seconds) + ";; esac\nexec 7zz \"$@\"\n");
    fs::permissions(wrapper, fs::perms::owner_all);
    environment["KESTRUNE_7ZZ"] = wrapper.string();
  }

  /// Another USB stick, `number`, with `letter` and a file of somebody else's on it.
  void AddOtherStick(uint32_t number, const std::string& letter, bool present) {
    Change([&](MachineDescription& d) {
      auto other = sim::DefaultMachineDescription().disks[1];
      other.number = number;
      other.pnpDeviceId = "USBSTOR\\DISK&VEN_OTHER&PROD_STICK\\" + std::to_string(number);
      other.parentInstanceId = "USB\\VID_0781&PID_5581\\OTHER" + std::to_string(number);
      other.parentContainerId = "{0a1b2c3d-0000-4000-8000-00000000000" + std::to_string(number) + "}";
      other.partitions[0].letter = letter;
      other.partitions[0].label = "THEIRS";
      other.present = present;
      d.disks.push_back(other);
    });
    if (present) WriteFile(Volume(letter[0]) / "theirs.txt", "somebody else's");
  }

  /// A second user, logged on but not at the console (`interactive` false): the program
  /// mounts the hive from its file. DisableAutoplay is there already, as REG_BINARY.
  void AddUser(bool interactive) {
    sim::UserDescription user;
    user.name = "Merlin";
    user.sid = "S-1-5-21-3623811015-3361044348-30300820-1002";
    user.profileFolder = "Merlin";
    user.interactive = interactive;
    Change([&](MachineDescription& d) { d.users.push_back(user); });
    EXPECT_TRUE(sim::WriteDefaultHive(machine_.machine(), user));
    const fs::path file = machine_.folder() / "users" / "Merlin" / "ntuser.dat";
    sim::RegistryHive hive;
    ASSERT_TRUE(hive.Load(file));
    (*hive.FindKey(
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers"))
        ["DisableAutoplay"] = sim::RegistryHive::TypedBytes{3, {0, 1}};
    ASSERT_TRUE(hive.Save(file));
  }

  /// Pulls the stick out and plugs `other` (a disk of the description that is not present)
  /// in at once, with a file of somebody else's on it; that disk's state is the new baseline.
  void SwapStickFor(size_t other) {
    MachineDescription before = Read(), after;
    Change([&](MachineDescription& d) {
      d.disks[1].present = false;
      d.disks.at(other).present = true;
      after = d;
    });
    sim::FollowDiskPresence(machine_.machine(), before, after);
    const char letter = sim::DriveLetter(after.disks[other].partitions[0].letter);
    WriteFile(Volume(letter) / "theirs.txt", "somebody else's, plugged in meanwhile");
    TakeBaseline(false);
  }

  /// True once the volume with `letter` holds a file: 7-Zip has begun to write there.
  bool VolumeHoldsFiles(char letter) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(Volume(letter), error), end; !error && it != end;
         it.increment(error)) {
      if (it->is_regular_file() && it->path().filename() != "old.txt") return true;
    }
    return false;
  }

  // --- What the runner compares ---

  /// Every disk but the stick (or every disk): its partitions, their flags and the files of
  /// their volumes, whatever number it has. Disks that are not plugged in show no files.
  std::multiset<std::string> Disks(bool withStick) {
    std::multiset<std::string> disks;
    for (const auto& disk : Read().disks) {
      if (!withStick && disk.pnpDeviceId == StickDevice()) continue;
      disks.insert(DiskText(disk));
    }
    return disks;
  }
  std::string DiskText(const sim::DiskDescription& disk) {
    std::string text = disk.caption + " " + std::to_string(disk.sizeBytes) + " " +
                       disk.partitionStyle;
    for (const auto& p : disk.partitions) {
      text += " [" + std::to_string(p.offsetBytes) + "+" + std::to_string(p.sizeBytes) + " " +
              p.type + " " + p.letter + " " + p.fileSystem + " '" + p.label + "'" +
              (p.active ? " active" : "") + (p.full ? " full" : "") + "]";
      if (const char letter = sim::DriveLetter(p.letter); letter && disk.present) {
        text += Text(Snapshot(Volume(letter)));
      }
    }
    return text;
  }
  /// The recorders and their discs, with what their volumes show.
  std::string Recorders() {
    std::string text;
    for (const auto& r : Read().recorders) {
      text += r.letter + " written " + std::to_string(r.writeCount) + " ejected " +
              std::to_string(r.ejectCount);
      if (r.disc) {
        text += " disc " + std::to_string(r.disc->mediaType) + " " + r.disc->state +
                (r.disc->damaged ? " damaged" : "") + " " + r.disc->image;
      }
      if (const char letter = sim::DriveLetter(r.letter)) text += Text(Snapshot(Volume(letter)));
      text += "\n";
    }
    return text;
  }
  /// The autoplay values of every user, read from the hive files, with types and bytes.
  std::string AutoplayValues() {
    std::string seen;
    for (const auto& user : Read().users) {
      sim::RegistryHive hive;
      if (!hive.Load(machine_.folder() / "users" / user.profileFolder / "ntuser.dat")) {
        seen += user.name + ": no hive\n";
        continue;
      }
      for (const char* key :
           {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
            "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer"}) {
        const auto* values = hive.FindKey(key);
        if (values == nullptr) continue;
        for (const auto& [name, value] : *values) {
          const auto raw = sim::RawValue(value);
          seen += user.name + " " + name + "=" + std::to_string(raw.type) + ":";
          for (const uint8_t byte : raw.bytes) seen += std::to_string(byte) + ",";
          seen += "\n";
        }
      }
    }
    return seen;
  }
  /// The program's run folders left on the machine.
  std::vector<fs::path> RunFolders() {
    std::vector<fs::path> left;
    std::error_code error;
    for (fs::directory_iterator it(machine_.machine().ProgramDataFolder() / "Kestrune", error),
         end;
         !error && it != end; it.increment(error)) {
      if (it->path().filename() != "journal") left.push_back(it->path());
    }
    return left;
  }
  /// The repair journals left on the machine: none once a run has put back what it changed.
  std::vector<fs::path> Journals() {
    std::vector<fs::path> left;
    std::error_code error;
    for (fs::directory_iterator
             it(machine_.machine().ProgramDataFolder() / "Kestrune" / "journal", error),
         end;
         !error && it != end; it.increment(error)) {
      if (it->path().filename() != "journal.lock") left.push_back(it->path());
    }
    return left;
  }

  /// Takes the state that the run must leave as it is (with the stick's when `all`).
  void TakeBaseline(bool all = true) {
    others_ = Disks(false);
    if (!all) return;
    disks_ = Disks(true);
    recorders_ = Recorders();
    images_ = Snapshot(Images());
    documents_before_ = Snapshot(Documents());
    autoplay_ = AutoplayValues();
    loadedHives_ = Read().loadedHives;
  }

  /// The checks every row makes.
  void ExpectNothingElseChanged(const Row& row, const WizardRun& run) {
    const MachineDescription after = Read();
    if (row.stick == Stick::kUntouched) {
      EXPECT_EQ(Disks(true), disks_) << "every disk as it was";
    } else {
      EXPECT_EQ(Disks(false), others_) << "every disk but the stick as it was";
    }
    if (row.medium == Medium::kUsb) {
      EXPECT_EQ(Recorders(), recorders_) << "the recorder and its disc as they were";
    }
    EXPECT_EQ(after.discsWritten, row.discsWritten) << run.Text();
    ExpectStick(row.stick, after);
    EXPECT_EQ(Snapshot(Images()), images_)
        << "the image folder holds the images and the user's files, as they were, and nothing "
           "of the program's";
    EXPECT_EQ(Snapshot(Documents()), documents_before_) << "the user's Documents as they were";
    // At most one report: a text for a person and the same facts for a program.
    const std::vector<std::string> reports = ReportFiles(Images());
    if (!reports.empty()) {
      ASSERT_EQ(reports.size(), 2u);
      EXPECT_EQ(reports[0].substr(0, reports[0].size() - 5) + ".txt", reports[1]);
    }
    EXPECT_TRUE(fs::is_empty(Markers())) << "nothing planted ran";
    EXPECT_EQ(AutoplayValues(), autoplay_) << "every user's autoplay values as before";
    EXPECT_EQ(after.loadedHives, loadedHives_) << "no hive left mounted";
    // A work area still in use when the run ended stays journalled for the next start.
    if (!row.workAreaLeftForRestart) {
      EXPECT_EQ(Journals(), std::vector<fs::path>{}) << "the run undid everything it journalled";
    }
    for (const fs::path& left : RunFolders()) {
      bool scheduled = false;
      for (const auto& file : after.pendingRestartDeletes) {
        scheduled = scheduled || fs::path(file).filename() == left.filename();
      }
      EXPECT_TRUE(row.workAreaLeftForRestart && scheduled)
          << left << ": the private work area goes with the run";
    }
  }

  void ExpectStick(Stick expected, const MachineDescription& after) {
    const sim::DiskDescription* stick = nullptr;
    for (const auto& disk : after.disks) {
      if (disk.pnpDeviceId == StickDevice()) stick = &disk;
    }
    if (expected == Stick::kUntouched || expected == Stick::kRowsCheck) return;
    ASSERT_NE(stick, nullptr);
    switch (expected) {
      case Stick::kWiped:
        EXPECT_TRUE(stick->present);
        EXPECT_TRUE(stick->partitions.empty()) << DiskText(*stick);
        break;
      case Stick::kIncomplete:
        ASSERT_EQ(stick->partitions.size(), 1u) << DiskText(*stick);
        EXPECT_EQ(stick->partitions[0].label, "INCOMPLETE");
        EXPECT_FALSE(stick->partitions[0].active) << "a failed stick never starts a computer";
        break;
      case Stick::kComplete:
        ASSERT_EQ(stick->partitions.size(), 1u) << DiskText(*stick);
        EXPECT_EQ(stick->partitions[0].label, "RECOVERY");
        EXPECT_TRUE(stick->partitions[0].active);
        EXPECT_TRUE(fs::exists(Volume('F') / "version.doc"));
        EXPECT_FALSE(fs::exists(Volume('F') / "old.txt"));
        break;
      case Stick::kGone:
        EXPECT_FALSE(stick->present);
        break;
      default:
        break;
    }
  }

 private:
  sim::testing::TemporaryMachine machine_;
  kestrune::testing::TempFolder folder_;
  kestrune::testing::TempFolder documents_;
  std::multiset<std::string> disks_, others_;
  std::string recorders_, autoplay_;
  std::map<std::string, std::string> images_, documents_before_, loadedHives_;
};

/// Waits until `condition` holds (30 s at most).
inline bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

/// The box ids of the transcript, in order.
inline std::vector<uint32_t> Boxes(const WizardRun& run) {
  std::vector<uint32_t> boxes;
  for (const std::string& line : run.Lines("box ")) {
    boxes.push_back(static_cast<uint32_t>(std::stoul(line.substr(4))));
  }
  return boxes;
}

/// One row: injects the fault, runs the wizard step by step and checks what it left.
inline void RunRow(const Row& row) {
  // A wizard that ended early must not take the test down with a broken pipe.
  ::signal(SIGPIPE, SIG_IGN);
  Bench bench;
  if (row.inject) row.inject(bench);
  bench.TakeBaseline();
  WizardRun run;
  {
    WizardProcess wizard(bench.machine().folder(), bench.arguments, 30, bench.environment);
    for (const Step& step : row.steps) {
      if (!step.send.empty()) wizard.Send(step.send);
      if (step.until) {
        EXPECT_TRUE(WaitUntil([&] { return step.until(bench); })) << "the machine never got there";
      }
      if (step.then) step.then(bench);
    }
    run = wizard.Finish();
  }
  EXPECT_EQ(run.status, 0) << run.Text();
  EXPECT_EQ(run.output, std::to_string(row.state) + "\n") << run.Text();
  EXPECT_EQ(Boxes(run), row.boxes) << run.Text();
  bench.ExpectNothingElseChanged(row, run);
  if (row.check) row.check(bench, run);
  if (row.workAreaLeftForRestart) {
    // The next start (here one that finds no image) removes what this run had to leave.
    const WizardRun next =
        kestrune::testing::RunWizard(bench.machine().folder(), "", {"Sample", "0", "/nowhere"});
    EXPECT_EQ(bench.Journals(), std::vector<fs::path>{}) << next.Text();
    EXPECT_EQ(bench.RunFolders(), std::vector<fs::path>{}) << next.Text();
  }
}

}  // namespace kestrune::testing::matrix
