// The fault matrix: whole runs of the Linux kestrixdw on temporary simulated machines, one row
// a fault, with the message boxes the user sees, the state word printed and what the stick or
// disc is left as; the runner (fault_matrix_support.h) checks for every row that nothing else
// changed. The rows in one screen: docs/fault-matrix.md.
//
// Not in the matrix: a cancel while Sabrel checks the stick. Sabrel reads the stick's files
// as fast as the computer does (the simulated machine cannot slow a read), so the check of a
// small set ends before a cancel can reach it and the row could not say which of two things
// happened.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "wizard/fault_matrix_support.h"

namespace kestrune::testing::matrix {
namespace {

constexpr uint64_t kMiB = 1024ull * 1024;
constexpr uint32_t kComplete = 0x80000000;
constexpr uint32_t kDualLayerSet = 0x2000000B;
/// Both discs of the two-disc set written (and the set complete).
constexpr uint32_t kBothDiscs = kComplete | kDualLayerSet | 0x300;
constexpr uint32_t kOneDisc = kComplete | kDualLayerSet | 0x100;

constexpr char kToTheDrivePage[] = "wait page start\nnext\nwait page info\nnext\nwait page drive\n";
/// Leaves through the question that a cancel on the Write page asks.
constexpr char kLeave[] = "close\nwait box 401\nanswer yes\nwait end\n";

/// The stick chosen, the wipe confirmed, on to the Write page.
std::string ToUsb(bool compare) {
  return std::string(kToTheDrivePage) + "select F\ncompare " + (compare ? "on" : "off") +
         "\nnext\nwait box 266\nanswer ok\nwait page write\n";
}
/// The recorder chosen, on to the Write page.
std::string ToDisc(bool compare) {
  return std::string(kToTheDrivePage) + "select E\ncompare " + (compare ? "on" : "off") +
         "\nnext\nwait page write\n";
}
/// Acknowledges box `box` and waits for the end.
std::string Ends(uint32_t box) {
  return "wait box " + std::to_string(box) + "\nanswer ok\nwait end\n";
}
/// Acknowledges the completion of `discs` discs.
std::string Acknowledge(int discs) {
  std::string script;
  for (int i = 0; i < discs; ++i) script += "wait box 406\nanswer ok\n";
  return script;
}

void Shell(const std::string& command) {
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

/// The files of image `index`, unpacked into a folder of the bench's own.
fs::path Unpacked(Bench& bench, size_t index) {
  const fs::path folder = bench.Work() / ("disc" + std::to_string(index + 1));
  fs::create_directories(folder);
  Shell("7zz x -y '-o" + folder.string() + "' '" + bench.Image(index).string() + "' >/dev/null");
  return folder;
}

/// Replaces image `index` by a tar archive of `folder`.
void RepackAsTar(Bench& bench, size_t index, const fs::path& folder) {
  fs::remove(bench.Image(index));
  const fs::path tar = bench.Images() / ("disc" + std::to_string(index + 1) + ".tar");
  Shell("cd '" + folder.string() + "' && tar -cf '" + tar.string() + "' *");
  bench.arguments.at(2 + index) = tar.string();
}

fs::path RecoveryList(const fs::path& disc) {
  return disc / "recovery" / "oem" / "MD5_OEM_RCV_Partition.txt";
}

/// The text of a list that is ASCII in UTF-16LE with its mark, and back.
std::string Narrow(const std::string& utf16) {
  std::string text;
  for (size_t i = 2; i + 1 < utf16.size(); i += 2) text += utf16[i];
  return text;
}
std::string Widen(const std::string& text) {
  std::string utf16 = "\xFF\xFE";
  for (const char c : text) utf16 += c, utf16 += '\0';
  return utf16;
}

/// One image made by tar of a file of `size` bytes, stored sparse: the whole set.
void SparseSet(Bench& bench, uint64_t size) {
  const fs::path content = bench.Work() / "sparse";
  fs::create_directories(content / "sources");
  std::ofstream(content / "sources" / "install.wim").close();
  fs::resize_file(content / "sources" / "install.wim", size);
  bench.UseSampleSet(1);
  fs::remove(bench.Image(0));
  const fs::path image = bench.Images() / "disc1.iso";
  Shell("cd '" + content.string() + "' && tar --sparse -cf '" + image.string() + "' sources");
  bench.arguments = {"Sample", "0", image.string()};
}

/// Bytes of the files in the image folder.
uint64_t ImageBytes(Bench& bench) {
  uint64_t held = 0;
  for (const auto& entry : fs::directory_iterator(bench.Images())) held += entry.file_size();
  return held;
}

/// A pseudo-random file of `size` bytes.
void RandomFile(const fs::path& file, size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) seed = seed * 1664525u + 1013904223u, c = static_cast<char>(seed >> 24);
  WriteFile(file, bytes);
}

/// What anybody who can write the Downloads folder could put beside the images: programs and
/// a library named as the carried tools, batch files named as the system's programs, each
/// leaving a marker when it runs, and the user's own files with the names the MD5 check uses.
/// The user's AutoRun moves every command interpreter into the Documents folder.
void PlantEverything(Bench& bench) {
  for (const char* name : {"7z.exe", "7z.dll", "Harlune.exe", "Sabrel.exe"}) {
    const fs::path file = bench.Images() / name;
    WriteFile(file, "#!/bin/sh\ntouch '" + (bench.Markers() / name).string() + "'\nexit 0\n");
    fs::permissions(file, fs::perms::owner_all);
  }
  for (const char* name : {"diskpart", "chcp"}) {
    WriteFile(bench.Images() / (std::string(name) + ".bat"),
              "echo ran > " + (bench.Markers() / name).string() + "\r\n");
  }
  WriteFile(bench.Images() / "error.txt", "the user's error.txt");
  WriteFile(bench.Images() / "MD5_OEM_RCV_Partition.txt", "the user's list");
  WriteFile(bench.Images() / "DISC1_MD5.txt", "d41d8cd98f00b204e9800998ecf8427e x\n");
  const std::string documents = bench.Documents().string();
  bench.Change([documents](MachineDescription& d) { d.cmdAutoRun = "cd /d " + documents; });
}

/// The stick written at `bytesPerSecond`.
std::function<void(Bench&)> StickSpeed(uint64_t bytesPerSecond) {
  return [bytesPerSecond](Bench& bench) {
    bench.Change([=](MachineDescription& d) { d.disks[1].writeBytesPerSecond = bytesPerSecond; });
  };
}

/// The recorder writing at `bytesPerSecond`, an event every `intervalMs`, on a set of `discs`.
std::function<void(Bench&)> SlowRecorder(uint64_t bytesPerSecond, uint32_t intervalMs = 20,
                                         int discs = 1) {
  return [=](Bench& bench) {
    bench.UseSampleSet(discs);
    bench.Change([=](MachineDescription& d) {
      d.recorders[0].writeBytesPerSecond = bytesPerSecond;
      d.recorders[0].eventIntervalMs = intervalMs;
    });
  };
}

/// diskpart run `run` (from now) waits `ms` before its first command.
void HoldDiskpartRun(Bench& bench, uint32_t run, uint32_t ms = 2000) {
  bench.Change([=](MachineDescription& d) {
    d.faults.diskpartSlowRun = d.diskpartRuns + run;
    d.faults.diskpartSlowMs = ms;
  });
}
std::function<bool(Bench&)> DiskpartHeld(uint32_t run) {
  return [run](Bench& bench) { return bench.Read().diskpartHeld == run; };
}

void ExpectDiskpartRuns(Bench& bench, uint32_t runs) {
  EXPECT_EQ(bench.Read().diskpartRuns, runs);
}

// --- The rows ---

const std::vector<Row>& RefusedBeforeTheWipe() {
  static const std::vector<Row> rows = {
      {.name = "ImageThatIsNoArchive",
       .inject = [](Bench& b) { WriteFile(b.Image(1), "not an image"); },
       .steps = {Send(ToUsb(false) + Ends(486))},
       .boxes = {266, 486},
       .check = [](Bench& b, const WizardRun&) { ExpectDiskpartRuns(b, 0); }},
      {.name = "SetLargerThanItsPartition",
       .inject = [](Bench& b) { SparseSet(b, 600 * kMiB); },
       .steps = {Send(ToUsb(false) + Ends(487))},
       .boxes = {266, 487},
       .check = [](Bench& b, const WizardRun&) { ExpectDiskpartRuns(b, 0); }},
      {.name = "FileOfFourGibibytes",
       .inject = [](Bench& b) { SparseSet(b, 4ull << 30); },
       .steps = {Send(ToUsb(false) + Ends(488))},
       .boxes = {266, 488},
       .check = [](Bench& b, const WizardRun&) { ExpectDiskpartRuns(b, 0); }},
      {.name = "NoRoomForTheComparison",
       .inject =
           [](Bench& b) {
             const uint64_t held = ImageBytes(b);
             const std::string images = b.Images().string();
             b.Change([&](MachineDescription& d) {
               d.folderQuotas.push_back({images, held + 8192});
             });
           },
       .steps = {Send(ToUsb(true) + Ends(489))},
       .boxes = {266, 489},
       .check = [](Bench& b, const WizardRun&) { ExpectDiskpartRuns(b, 0); }},
      // Another stick at G holds somebody else's files; as the look-up starts the stick at F
      // is another device, or the disks have swapped their numbers.
      {.name = "StickSwappedAtItsLetter",
       .inject =
           [](Bench& b) {
             b.AddOtherStick(2, "G", true);
             b.Change([](MachineDescription& d) {
               d.faults.changesWhenDiskpartRunStarts = {
                   {d.diskpartRuns + 1,
                    {{"/disks/1/pnpDeviceId", "USBSTOR\\DISK&VEN_SWAPPED&PROD_STICK\\9"}}}};
             });
           },
       .steps = {Send(ToUsb(false) + Ends(276))},
       .boxes = {266, 276}},
      {.name = "DisksRenumbered",
       .inject =
           [](Bench& b) {
             b.AddOtherStick(2, "G", true);
             b.Change([](MachineDescription& d) {
               d.faults.changesWhenDiskpartRunStarts = {
                   {d.diskpartRuns + 1, {{"/disks/1/number", "2"}, {"/disks/2/number", "1"}}}};
             });
           },
       .steps = {Send(ToUsb(false) + Ends(276))},
       .boxes = {266, 276}},
  };
  return rows;
}

const std::vector<Row>& UsbFaults() {
  static const std::vector<Row> rows = {
      {.name = "StickWrittenCheckedAndCompared",
       .steps = {Send(ToUsb(true) + "wait end\n")},
       .boxes = {266},
       .state = kComplete,
       .stick = Stick::kComplete},
      {.name = "PlantedToolsAndAutoRunOnTheStickPath",
       .inject = PlantEverything,
       .steps = {Send(ToUsb(true) + "wait end\n")},
       .boxes = {266},
       .state = kComplete,
       .stick = Stick::kComplete,
       .check =
           [](Bench&, const WizardRun& run) {
             EXPECT_TRUE(run.Has("status \"Checking files\"")) << "checked with its own list";
           }},
      {.name = "ComparisonFolderLinkedToTheUsersFiles",
       .inject =
           [](Bench& b) {
             fs::create_directory_symlink(b.Documents(), b.Images() / "tempCompareFiles");
           },
       .steps = {Send(ToUsb(true) + Ends(493))},
       .boxes = {266, 493},
       .stick = Stick::kIncomplete},
      // A wipe that fails is not judged: the build cleans the disk again.
      {.name = "DiskpartFailsAtTheWipe",
       .inject =
           [](Bench& b) {
             b.Change([](MachineDescription& d) {
               d.faults.diskpartFailCommand = "clean";
               d.faults.diskpartFailRun = d.diskpartRuns + 2;
             });
           },
       .steps = {Send(ToUsb(false) + "wait end\n")},
       .boxes = {266},
       .state = kComplete,
       .stick = Stick::kComplete},
      // The partition cannot be made: the build stops with the stick clean, which is all the
      // message may say.
      {.name = "DiskpartFailsAtTheCreate",
       .inject =
           [](Bench& b) {
             b.Change([](MachineDescription& d) {
               d.faults.diskpartFailCommand = "create";
               d.faults.diskpartFailRun = d.diskpartRuns + 3;
             });
           },
       .steps = {Send(ToUsb(false) + Ends(475))},
       .boxes = {266, 475},
       .stick = Stick::kWiped},
      // The partition is made and marked active, then cannot be formatted: it loses its mark.
      {.name = "DiskpartFailsAtTheFormat",
       .inject =
           [](Bench& b) {
             b.Change([](MachineDescription& d) {
               d.faults.diskpartFailCommand = "format";
               d.faults.diskpartFailRun = d.diskpartRuns + 3;
             });
           },
       .steps = {Send(ToUsb(false) + Ends(475))},
       .boxes = {266, 475},
       .stick = Stick::kRowsCheck,
       .check =
           [](Bench& b, const WizardRun&) {
             const auto stick = b.Read().disks[1];
             ASSERT_EQ(stick.partitions.size(), 1u);
             EXPECT_FALSE(stick.partitions[0].active);
             EXPECT_EQ(stick.partitions[0].fileSystem, "");
           }},
      // Another device (a card reader's card, say) takes F: while the stick is clean: the
      // stick gets no letter, and the other device's volume is never labelled.
      {.name = "LetterTakenBetweenWipeAndBuild",
       .inject =
           [](Bench& b) {
             b.AddOtherStick(2, "F", false);
             b.Change([](MachineDescription& d) {
               d.faults.changesAfterDiskpartRun = {
                   {d.diskpartRuns + 2, {{"/disks/2/present", "true"}}}};
             });
           },
       .steps = {Send(ToUsb(false) + Ends(475))},
       .boxes = {266, 475},
       .stick = Stick::kRowsCheck,
       .check =
           [](Bench& b, const WizardRun&) {
             const auto stick = b.Read().disks[1];
             ASSERT_EQ(stick.partitions.size(), 1u);
             EXPECT_FALSE(stick.partitions[0].active);
             EXPECT_EQ(stick.partitions[0].letter, "");
             EXPECT_EQ(b.Read().disks[2].partitions[0].label, "THEIRS");
           }},
      {.name = "SevenZipFailsHalfWayThroughAnArchive",
       .inject =
           [](Bench& b) {
             // Two files stored as they are; a byte of the second one's data flipped: the
             // listing is fine, the unpacking fails its CRC after the first file.
             const fs::path files = b.Work() / "broken";
             RandomFile(files / "a.bin", 96 * 1024, 1);
             RandomFile(files / "b.bin", 64 * 1024, 2);
             const fs::path archive = b.Images() / "disc2.7z";
             fs::remove(b.Image(1));
             Shell("cd '" + files.string() + "' && 7zz a -mx0 -ms=off '" + archive.string() +
                   "' a.bin b.bin >/dev/null");
             std::fstream stored(archive, std::ios::in | std::ios::out | std::ios::binary);
             stored.seekp(32 + 96 * 1024 + 32 * 1024);
             stored.put('\x5a');
             stored.close();
             Shell("7zz l '" + archive.string() + "' >/dev/null");
             ASSERT_NE(std::system(("7zz t '" + archive.string() + "' >/dev/null").c_str()), 0);
             b.arguments[3] = archive.string();
           },
       .steps = {Send(ToUsb(false) + Ends(491))},
       .boxes = {266, 491},
       .stick = Stick::kIncomplete},
      // A stick that holds less than its partition says (a fake-capacity stick): 7-Zip finds
      // it full.
      {.name = "TargetFull",
       .inject =
           [](Bench& b) {
             b.Change([](MachineDescription& d) {
               d.faults.changesAfterDiskpartRun = {
                   {d.diskpartRuns + 3,
                    {{"/disks/1/partitions/0/sizeBytes", std::to_string(512 * 1024)}}}};
             });
           },
       .steps = {Send(ToUsb(false) + Ends(491))},
       .boxes = {266, 491},
       .stick = Stick::kIncomplete},
      {.name = "ByteFlippedOnTheStick",
       .inject = [](Bench& b) { b.Change([](MachineDescription& d) {
         d.disks[1].writeBytesPerSecond = 0;
         d.disks[1].flipByteAfterUnpack = true;
       }); },
       .steps = {Send(ToUsb(false) + Ends(492))},
       .boxes = {266, 492},
       .stick = Stick::kIncomplete},
      // The lists of a good stick lie in the image folder, as a user's own copies; the stick
      // lost its own list. The check fails, and never reads the ones in the folder.
      {.name = "StaleListsInTheImageFolder",
       .inject =
           [](Bench& b) {
             const fs::path disc = Unpacked(b, 0);
             fs::copy_file(RecoveryList(disc), b.Images() / "MD5_OEM_RCV_Partition.txt");
             Shell("cd '" + b.Images().string() + "' && '" KESTRUNE_BIN_DIR
                   "/harlune' USB MD5_OEM_RCV_Partition.txt");
             ASSERT_TRUE(fs::exists(b.Images() / "DISC1_MD5.txt"));
             fs::remove(RecoveryList(disc));
             RepackAsTar(b, 0, disc);
           },
       .steps = {Send(ToUsb(false) + Ends(492))},
       .boxes = {266, 492},
       .stick = Stick::kIncomplete},
      // One line of the stick's list lost its medium folder ("Media01\" spelt "Meida01\"): the
      // check fails rather than check one file fewer.
      {.name = "DamagedMediaPrefixInTheSticksList",
       .inject =
           [](Bench& b) {
             const fs::path disc = Unpacked(b, 0);
             std::string list = Narrow(ReadFile(RecoveryList(disc)));
             const size_t at = list.find(" Media01\\boot\\bcd");
             ASSERT_NE(at, std::string::npos);
             list.replace(at, 8, " Meida01");
             WriteFile(RecoveryList(disc), Widen(list));
             RepackAsTar(b, 0, disc);
           },
       .steps = {Send(ToUsb(false) + Ends(492))},
       .boxes = {266, 492},
       .stick = Stick::kIncomplete},
      {.name = "ComputerDiskFillsUpWhileComparing",
       .inject =
           [](Bench& b) {
             const uint64_t held = ImageBytes(b);
             const std::string images = b.Images().string();
             // Room enough at the start; another program fills the disk while the stick is
             // built.
             b.Change([&](MachineDescription& d) {
               d.folderQuotas.push_back({images, held + 4096 * kMiB});
               d.faults.changesAfterDiskpartRun = {
                   {d.diskpartRuns + 3,
                    {{"/folderQuotas/0/capacityBytes", std::to_string(held + 4096)}}}};
             });
           },
       .steps = {Send(ToUsb(true) + Ends(490))},
       .boxes = {266, 490},
       .stick = Stick::kIncomplete},
  };
  return rows;
}

const std::vector<Row>& StickPulled() {
  static const std::vector<Row> rows = {
      // A stick that went away cannot be marked: the plain message.
      {.name = "StickGoesAwayWhile7ZipWrites",
       .inject = [](Bench& b) { b.Change([](MachineDescription& d) {
         d.disks[1].writeBytesPerSecond = 0;
         d.disks[1].vanishAfterBytes = 64 * 1024;
       }); },
       .steps = {Send(ToUsb(false) + Ends(475))},
       .boxes = {266, 475},
       .stick = Stick::kGone},
      // Pulled by hand during an image; another stick takes F: (and disk number 1) at once.
      {.name = "StickPulledDuringAnImageAnotherTakesItsLetter",
       .inject =
           [](Bench& b) {
             StickSpeed(256 * 1024)(b);
             b.AddOtherStick(1, "F", false);
           },
       .steps = {Send(ToUsb(false)),
                 When([](Bench& b) { return b.VolumeHoldsFiles('F'); },
                      [](Bench& b) { b.SwapStickFor(2); }),
                 Send(Ends(475))},
       .boxes = {266, 475},
       .stick = Stick::kGone},
      // Pulled as the first image is done; another stick takes F: before the second.
      {.name = "StickPulledBetweenTwoImagesAnotherTakesItsLetter",
       .inject =
           [](Bench& b) {
             b.AddOtherStick(2, "F", false);
             b.Change([](MachineDescription& d) {
               d.faults.changesAfterUnpack = {
                   {d.unpacks + 1, {{"/disks/1/present", "false"}, {"/disks/2/present", "true"}}}};
             });
           },
       .steps = {Send(ToUsb(false) + Ends(475))},
       .boxes = {266, 475},
       .stick = Stick::kGone},
  };
  return rows;
}

// A cancel at every stage of the USB path, each stage held until the cancel has come.
const std::vector<Row>& UsbCancels() {
  static const std::vector<Row> rows = {
      // 7-Zip's first answer takes its time: the cancel comes before the look-up.
      {.name = "CancelBeforeTheLookUp",
       .inject = [](Bench& b) { b.SlowSevenZip("i", 5); },
       .steps = {Send(ToUsb(false) + "wait status Writing.data.to.the.USB\n" + kLeave)},
       .boxes = {266, 401},
       .check = [](Bench& b, const WizardRun&) { ExpectDiskpartRuns(b, 0); }},
      {.name = "CancelBetweenLookUpAndWipe",
       .inject = [](Bench& b) { HoldDiskpartRun(b, 1); },
       .steps = {Send(ToUsb(false)), When(DiskpartHeld(1)), Send(kLeave)},
       .boxes = {266, 401},
       .check = [](Bench& b, const WizardRun&) { ExpectDiskpartRuns(b, 1); }},
      // The wipe runs to its end; nothing is built on the clean stick.
      {.name = "CancelBetweenWipeAndBuild",
       .inject = [](Bench& b) { HoldDiskpartRun(b, 2); },
       .steps = {Send(ToUsb(false)), When(DiskpartHeld(2)), Send(kLeave)},
       .boxes = {266, 401},
       .stick = Stick::kWiped,
       .check = [](Bench& b, const WizardRun&) { ExpectDiskpartRuns(b, 2); }},
      {.name = "CancelDuringTheBuild",
       .inject = [](Bench& b) { HoldDiskpartRun(b, 3); },
       .steps = {Send(ToUsb(false)), When(DiskpartHeld(3)), Send(kLeave)},
       .boxes = {266, 401},
       .stick = Stick::kIncomplete},
      {.name = "CancelDuring7Zip",
       .inject = StickSpeed(128 * 1024),
       .steps = {Send(ToUsb(false)), When([](Bench& b) { return b.VolumeHoldsFiles('F'); }),
                 Send(kLeave)},
       .boxes = {266, 401},
       .stick = Stick::kIncomplete},
      // The comparison cannot be left: it goes on to the end.
      {.name = "CancelDuringTheUsbComparison",
       .inject =
           [](Bench& b) {
             b.UseSampleSet(1);
             b.SlowSevenZip("*tempCompareFiles*", 2);
           },
       .steps = {Send(ToUsb(true) +
                      "wait status Comparing\nclose\nwait box 408\nanswer ok\nwait end\n")},
       .boxes = {266, 408},
       .state = kComplete,
       .stick = Stick::kComplete},
  };
  return rows;
}

const std::vector<Row>& DiscFaults() {
  static const std::vector<Row> rows = {
      {.name = "PlantedToolsAndAutoRunOnTheDiscPath",
       .medium = Medium::kDisc,
       .inject = PlantEverything,
       .steps = {Send(ToDisc(true) + Acknowledge(2) + "wait end\n")},
       .boxes = {406, 406},
       .state = kBothDiscs,
       .discsWritten = 2},
      {.name = "ByteFlippedOnTheDisc",
       .medium = Medium::kDisc,
       .inject = [](Bench& b) { b.Change([](MachineDescription& d) {
         d.recorders[0].flipByteAfterBurn = true;
       }); },
       .steps = {Send(ToDisc(true) + Ends(483))},
       .boxes = {483},
       .discsWritten = 1},
      // The disc is taken out during the burn and the drive stays empty: the burn fails, the
      // user tries again with a blank disc.
      {.name = "DiscEjectedMidBurnThenRetried",
       .medium = Medium::kDisc,
       .inject =
           [](Bench& b) {
             SlowRecorder(512 * 1024)(b);
             b.Change([](MachineDescription& d) { d.recorders[0].feedBlankMediaType.reset(); });
           },
       .steps = {Send(ToDisc(false) +
                      "wait status Writing.data\nmachine eject E\n"
                      "machine set /recorders/0/writeBytesPerSecond 100000000\n"
                      "wait box 471\nanswer yes\n"
                      "wait status Insert.a.blank.disc\nmachine insert E\n" +
                      Acknowledge(1) + "wait end\n")},
       .boxes = {471, 406},
       .state = kOneDisc,
       .discsWritten = 1},
      {.name = "DiscSwappedMidBurnThenRetried",
       .medium = Medium::kDisc,
       .inject = SlowRecorder(512 * 1024),
       .steps = {Send(ToDisc(false) +
                      "wait status Writing.data\nmachine insert E\n"
                      "machine set /recorders/0/writeBytesPerSecond 100000000\n"
                      "wait box 471\nanswer yes\n" +
                      Acknowledge(1) + "wait end\n")},
       .boxes = {471, 406},
       .state = kOneDisc,
       .discsWritten = 1},
      // The recorder stops answering during the burn, so the burn never ends; the user
      // leaves and the program ends anyway.
      {.name = "RecorderStopsAnsweringMidBurn",
       .medium = Medium::kDisc,
       .inject = SlowRecorder(256 * 1024),
       .steps = {Send(ToDisc(false) +
                      "wait status Writing.data\nmachine set /recorders/0/noAnswer true\n"
                      "close\nwait box 402\nanswer yes\nwait end\n")},
       .boxes = {402},
       .workAreaLeftForRestart = true},
      // The recorder is unplugged during the burn. The volume's removal reaches the page
      // while the burn still runs (the writer notices the recorder gone only at its next
      // event, a second later), so the failed burn is what the user hears of.
      {.name = "RecorderUnpluggedMidBurn",
       .medium = Medium::kDisc,
       .inject = SlowRecorder(256 * 1024, 1000),
       .steps = {Send(ToDisc(false) +
                      "wait status Writing.data\nmachine set /recorders []\n"
                      "wait box 471\nanswer no\nwait box 401\nanswer yes\nwait end\n")},
       .boxes = {471, 401}},
  };
  return rows;
}

// A cancel at every stage of the disc path.
const std::vector<Row>& DiscCancels() {
  static const std::vector<Row> rows = {
      // Disc 1 written and taken out; no blank disc comes for disc 2. The wizard says so and
      // asks for one; the user cancels there.
      {.name = "CancelWhileWaitingForTheNextDisc",
       .medium = Medium::kDisc,
       .inject =
           [](Bench& b) {
             b.Change([](MachineDescription& d) { d.recorders[0].feedBlankMediaType.reset(); });
           },
       .steps = {Send(ToDisc(false) + Acknowledge(1) +
                      "wait box 465\nanswer ok\nwait box 469\nanswer cancel\n"
                      "wait box 401\nanswer yes\nwait end\n")},
       .boxes = {406, 465, 469, 401},
       .state = kDualLayerSet | 0x100,
       .discsWritten = 1},
      {.name = "CancelDuringABurn",
       .medium = Medium::kDisc,
       .inject = SlowRecorder(512 * 1024),
       .steps = {Send(ToDisc(false) +
                      "wait status Writing.data\ncancel\nwait box 402\nanswer yes\nwait end\n")},
       .boxes = {402},
       .check =
           [](Bench& b, const WizardRun&) {
             const auto recorder = b.Read().recorders[0];
             ASSERT_TRUE(recorder.lastWrite.has_value());
             EXPECT_EQ(recorder.lastWrite->result, 0xC0AA0002u) << "the burn was cancelled";
             EXPECT_EQ(recorder.ejectCount, 1u) << "the spoilt disc comes out";
           }},
      // Verifying cannot be left: it goes on to the end.
      {.name = "CancelDuringFinalisation",
       .medium = Medium::kDisc,
       .inject = SlowRecorder(1024 * 1024),
       .steps = {Send(ToDisc(false) + "wait status Verifying\nclose\nwait box 407\nanswer ok\n" +
                      Acknowledge(1) + "wait end\n")},
       .boxes = {407, 406},
       .state = kOneDisc,
       .discsWritten = 1},
      {.name = "CancelDuringTheDiscComparison",
       .medium = Medium::kDisc,
       .inject =
           [](Bench& b) {
             b.UseSampleSet(1);
             b.SlowSevenZip("*tempCompareFiles*", 2);
           },
       .steps = {Send(ToDisc(true) + "wait status Comparing\ncancel\nwait box 408\nanswer ok\n" +
                      Acknowledge(1) + "wait end\n")},
       .boxes = {408, 406},
       .state = kOneDisc,
       .discsWritten = 1},
  };
  return rows;
}

// Autoplay is put back in every user's hive whatever happens to the hives meanwhile.
const std::vector<Row>& Hives() {
  static const std::vector<Row> rows = {
      {.name = "HiveThatCannotBeUnloaded",
       .medium = Medium::kDisc,
       .inject =
           [](Bench& b) {
             b.UseSampleSet(1);
             b.AddUser(false);
             b.Change([](MachineDescription& d) { d.faults.unloadHiveFailures = 2; });
           },
       .steps = {Send(ToDisc(false) + Acknowledge(1) + "wait end\n")},
       .boxes = {406},
       .state = kOneDisc,
       .discsWritten = 1},
      {.name = "UserLogsOnMeanwhile",
       .medium = Medium::kDisc,
       .inject =
           [](Bench& b) {
             b.UseSampleSet(1);
             b.AddUser(false);
           },
       .steps = {Send("wait page start\nmachine set /users/1/interactive true\n" +
                      ToDisc(false) + Acknowledge(1) + "wait end\n")},
       .boxes = {406},
       .state = kOneDisc,
       .discsWritten = 1},
      {.name = "UserLogsOffMeanwhile",
       .inject = [](Bench& b) { b.AddUser(true); },
       .steps = {Send("wait page start\nmachine set /users/1/interactive false\n" + ToUsb(false) +
                      "wait end\n")},
       .boxes = {266},
       .state = kComplete,
       .stick = Stick::kComplete},
  };
  return rows;
}

class FaultMatrixTest : public ::testing::TestWithParam<Row> {};

TEST_P(FaultMatrixTest, Row) { RunRow(GetParam()); }

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(FaultMatrixUsbRefused, FaultMatrixTest,
                         ::testing::ValuesIn(RefusedBeforeTheWipe()), RowName);
INSTANTIATE_TEST_SUITE_P(FaultMatrixUsb, FaultMatrixTest, ::testing::ValuesIn(UsbFaults()),
                         RowName);
INSTANTIATE_TEST_SUITE_P(FaultMatrixUsbPulled, FaultMatrixTest, ::testing::ValuesIn(StickPulled()),
                         RowName);
INSTANTIATE_TEST_SUITE_P(FaultMatrixUsbCancel, FaultMatrixTest, ::testing::ValuesIn(UsbCancels()),
                         RowName);
INSTANTIATE_TEST_SUITE_P(FaultMatrixDisc, FaultMatrixTest, ::testing::ValuesIn(DiscFaults()),
                         RowName);
INSTANTIATE_TEST_SUITE_P(FaultMatrixDiscCancel, FaultMatrixTest,
                         ::testing::ValuesIn(DiscCancels()), RowName);
INSTANTIATE_TEST_SUITE_P(FaultMatrixHives, FaultMatrixTest, ::testing::ValuesIn(Hives()),
                         RowName);

}  // namespace
}  // namespace kestrune::testing::matrix
