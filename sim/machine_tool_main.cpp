// kestrune-machine: looks at and handles the host programs' simulated machine by hand, as a
// person at the real machine would (insert a disc, pull a stick), for the demo and for trying
// the wizard. The machine is $KESTRUNE_MACHINE or the default one (created on first use).
#include <cstdlib>
#include <iostream>
#include <string>

#include "sim/default_machine.h"
#include "sim/machine_actions.h"
#include "sim/machine_location.h"

namespace {

const char* kUsage =
    "usage: kestrune-machine COMMAND\n"
    "  path                  the machine folder\n"
    "  show                  the description (machine.json)\n"
    "  reset                 replace the description by the default machine\n"
    "  eject L               take the disc out of the recorder at letter L\n"
    "  insert L [TYPE]       put a blank disc of media type TYPE (default 11) into L\n"
    "  unplug N | plug N     pull disk N out, or plug it in again\n"
    "  get POINTER           one field of the description, e.g. get /disks/1\n"
    "  set POINTER VALUE     change one field (VALUE is JSON, or else a string), e.g.\n"
    "                        set /faults/diskpartFailCommand clean\n"
    "                        set /faults/diskpartFailRun 2   (only the second diskpart run)\n"
    "                        set /users/0/interactive true\n";

char Letter(const std::string& text) { return kestrune::sim::DriveLetter(text.substr(0, 1)); }

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrune::sim;
  if (argc < 2) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string command = argv[1];
  const std::string argument = argc > 2 ? argv[2] : "";
  std::string error;
  auto machine = OpenHostMachine(error);
  if (!machine) {
    std::cerr << "kestrune-machine: " << error << "\n";
    return 1;
  }
  bool ok = true;
  if (command == "path") {
    std::cout << machine->Folder().string() << "\n";
  } else if (command == "show") {
    MachineDescription description;
    ok = machine->Read(description, &error);
    if (ok) std::cout << FormatMachineDescription(description);
  } else if (command == "reset") {
    ok = machine->Create(DefaultMachineDescription(), &error);
  } else if (command == "eject" && Letter(argument)) {
    ok = EjectDisc(*machine, Letter(argument), &error);
  } else if (command == "insert" && Letter(argument)) {
    DiscDescription disc;
    if (argc > 3) disc.mediaType = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    ok = InsertDisc(*machine, Letter(argument), disc, &error);
  } else if ((command == "unplug" || command == "plug") && !argument.empty()) {
    ok =
        SetDiskPresent(*machine, static_cast<uint32_t>(std::strtoul(argument.c_str(), nullptr, 10)),
                       command == "plug", &error);
  } else if (command == "get" && argc == 3) {
    MachineDescription description;
    std::string value;
    ok = machine->Read(description, &error) &&
         GetDescriptionField(description, argument, value, error);
    if (ok) std::cout << value << "\n";
  } else if (command == "set" && argc == 4) {
    std::string fieldError;
    MachineDescription from, to;
    ok = machine->Modify(
        [&](MachineDescription& description) {
          from = description;
          if (!SetDescriptionField(description, argument, argv[3], fieldError)) return false;
          to = description;
          return true;
        },
        &error);
    if (!fieldError.empty()) ok = false, error = fieldError;
    if (ok) {
      // A disk plugged in or pulled by its `present` field is as `plug` and `unplug` leave it.
      FollowDiskPresence(*machine, from, to);
      CreateMachineFolders(*machine, to);
    }
  } else {
    std::cerr << kUsage;
    return 2;
  }
  if (!ok) {
    std::cerr << "kestrune-machine: " << error << "\n";
    return 1;
  }
  return 0;
}
