#include "sim/machine_description.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace kestrune::sim {
namespace {

using Json = nlohmann::ordered_json;

// Result codes are written as hexadecimal text, as they appear in the Windows documentation;
// plain numbers are accepted too.
uint32_t CodeFrom(const Json& value) {
  if (value.is_number_unsigned() || value.is_number_integer()) return value.get<uint32_t>();
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    size_t used = 0;
    const unsigned long long code = std::stoull(text, &used, 0);
    if (used != text.size() || code > 0xFFFFFFFFull)
      throw std::invalid_argument("bad code " + text);
    return static_cast<uint32_t>(code);
  }
  throw std::invalid_argument("a code must be a number or a text such as \"0xC0AA0202\"");
}

std::string CodeText(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

template <typename T>
void Take(const Json& object, const char* name, T& field) {
  if (object.contains(name) && !object.at(name).is_null()) field = object.at(name).get<T>();
}

template <typename T>
void TakeOptional(const Json& object, const char* name, std::optional<T>& field) {
  if (object.contains(name) && !object.at(name).is_null()) field = object.at(name).get<T>();
}

void TakeCode(const Json& object, const char* name, uint32_t& field) {
  if (object.contains(name) && !object.at(name).is_null()) field = CodeFrom(object.at(name));
}

void TakeCalls(const Json& object, const char* name, FailedCalls& calls) {
  if (!object.contains(name)) return;
  for (const auto& [call, code] : object.at(name).items()) calls[call] = CodeFrom(code);
}

Json CallsJson(const FailedCalls& calls) {
  Json out = Json::object();
  for (const auto& [call, code] : calls) out[call] = CodeText(code);
  return out;
}

DiscDescription DiscFrom(const Json& j) {
  DiscDescription d;
  Take(j, "mediaType", d.mediaType);
  Take(j, "state", d.state);
  if (d.state != "blank" && d.state != "appendable" && d.state != "closed") {
    throw std::invalid_argument("disc state must be blank, appendable or closed: " + d.state);
  }
  Take(j, "damaged", d.damaged);
  Take(j, "capacityBytes", d.capacityBytes);
  Take(j, "image", d.image);
  if (j.contains("status") && !j.at("status").is_null()) d.status = CodeFrom(j.at("status"));
  TakeOptional(j, "profiles", d.profiles);
  return d;
}

Json DiscJson(const DiscDescription& d) {
  Json j{{"mediaType", d.mediaType},
         {"state", d.state},
         {"damaged", d.damaged},
         {"capacityBytes", d.capacityBytes},
         {"image", d.image}};
  if (d.status) j["status"] = CodeText(*d.status);
  if (d.profiles) j["profiles"] = *d.profiles;
  return j;
}

WriteRecord WriteRecordFrom(const Json& j) {
  WriteRecord w;
  Take(j, "clientName", w.clientName);
  Take(j, "writeSpeed", w.writeSpeed);
  Take(j, "pureCav", w.pureCav);
  Take(j, "verificationLevel", w.verificationLevel);
  Take(j, "forceMediaToBeClosed", w.forceMediaToBeClosed);
  Take(j, "forceOverwrite", w.forceOverwrite);
  Take(j, "imageBytes", w.imageBytes);
  TakeCode(j, "result", w.result);
  Take(j, "actions", w.actions);
  w.actions.resize(8, 0);
  return w;
}

Json WriteRecordJson(const WriteRecord& w) {
  return Json{{"clientName", w.clientName},
              {"writeSpeed", w.writeSpeed},
              {"pureCav", w.pureCav},
              {"verificationLevel", w.verificationLevel},
              {"forceMediaToBeClosed", w.forceMediaToBeClosed},
              {"forceOverwrite", w.forceOverwrite},
              {"imageBytes", w.imageBytes},
              {"result", CodeText(w.result)},
              {"actions", w.actions}};
}

RecorderDescription RecorderFrom(const Json& j) {
  RecorderDescription r;
  Take(j, "uniqueId", r.uniqueId);
  Take(j, "letter", r.letter);
  TakeOptional(j, "volumePaths", r.volumePaths);
  Take(j, "vendorId", r.vendorId);
  Take(j, "productId", r.productId);
  Take(j, "supportedMediaTypes", r.supportedMediaTypes);
  Take(j, "writeBytesPerSecond", r.writeBytesPerSecond);
  Take(j, "eventIntervalMs", r.eventIntervalMs);
  Take(j, "announceInitialization", r.announceInitialization);
  Take(j, "announceFormatting", r.announceFormatting);
  Take(j, "announceCalibration", r.announceCalibration);
  Take(j, "pureCav", r.pureCav);
  TakeOptional(j, "feedBlankMediaType", r.feedBlankMediaType);
  if (j.contains("disc") && !j.at("disc").is_null()) r.disc = DiscFrom(j.at("disc"));
  Take(j, "noAnswer", r.noAnswer);
  Take(j, "flipByteAfterBurn", r.flipByteAfterBurn);
  TakeCalls(j, "failCalls", r.failCalls);
  Take(j, "ejectCount", r.ejectCount);
  Take(j, "discChanges", r.discChanges);
  Take(j, "writeCount", r.writeCount);
  if (j.contains("lastWrite") && !j.at("lastWrite").is_null())
    r.lastWrite = WriteRecordFrom(j.at("lastWrite"));
  if (r.letter.size() != 1) throw std::invalid_argument("recorder letter must be one letter");
  if (r.uniqueId.empty()) {
    // The form IMAPI2 gives: the drive's device interface path.
    r.uniqueId = "\\\\?\\scsi#cdrom&ven_kestrune&prod_sim_" + r.letter +
                 "#4&2a6f3b1&0&000000#{53f56308-b6bf-11d0-94f2-00a0c91efb8b}";
  }
  if (r.writeBytesPerSecond == 0) throw std::invalid_argument("writeBytesPerSecond must be > 0");
  return r;
}

Json RecorderJson(const RecorderDescription& r) {
  Json j{{"uniqueId", r.uniqueId}, {"letter", r.letter}};
  if (r.volumePaths) j["volumePaths"] = *r.volumePaths;
  j["vendorId"] = r.vendorId;
  j["productId"] = r.productId;
  j["supportedMediaTypes"] = r.supportedMediaTypes;
  j["writeBytesPerSecond"] = r.writeBytesPerSecond;
  j["eventIntervalMs"] = r.eventIntervalMs;
  j["announceInitialization"] = r.announceInitialization;
  j["announceFormatting"] = r.announceFormatting;
  j["announceCalibration"] = r.announceCalibration;
  j["pureCav"] = r.pureCav;
  j["feedBlankMediaType"] = r.feedBlankMediaType ? Json(*r.feedBlankMediaType) : Json();
  j["disc"] = r.disc ? DiscJson(*r.disc) : Json();
  j["noAnswer"] = r.noAnswer;
  j["flipByteAfterBurn"] = r.flipByteAfterBurn;
  j["failCalls"] = CallsJson(r.failCalls);
  j["ejectCount"] = r.ejectCount;
  j["discChanges"] = r.discChanges;
  j["writeCount"] = r.writeCount;
  j["lastWrite"] = r.lastWrite ? WriteRecordJson(*r.lastWrite) : Json();
  return j;
}

PartitionDescription PartitionFrom(const Json& j) {
  PartitionDescription p;
  Take(j, "offsetBytes", p.offsetBytes);
  Take(j, "sizeBytes", p.sizeBytes);
  Take(j, "type", p.type);
  Take(j, "active", p.active);
  Take(j, "letter", p.letter);
  Take(j, "fileSystem", p.fileSystem);
  Take(j, "label", p.label);
  Take(j, "usedBytes", p.usedBytes);
  Take(j, "full", p.full);
  Take(j, "failProperties", p.failProperties);
  Take(j, "omitRows", p.omitRows);
  if (p.letter.size() > 1) throw std::invalid_argument("partition letter must be one letter");
  return p;
}

Json PartitionJson(const PartitionDescription& p) {
  return Json{{"offsetBytes", p.offsetBytes},
              {"sizeBytes", p.sizeBytes},
              {"type", p.type},
              {"active", p.active},
              {"letter", p.letter},
              {"fileSystem", p.fileSystem},
              {"label", p.label},
              {"usedBytes", p.usedBytes},
              {"full", p.full},
              {"failProperties", p.failProperties},
              {"omitRows", p.omitRows}};
}

DiskDescription DiskFrom(const Json& j) {
  DiskDescription d;
  Take(j, "number", d.number);
  Take(j, "caption", d.caption);
  Take(j, "interfaceType", d.interfaceType);
  Take(j, "mediaType", d.mediaType);
  Take(j, "pnpDeviceId", d.pnpDeviceId);
  Take(j, "parentInstanceId", d.parentInstanceId);
  TakeOptional(j, "parentContainerId", d.parentContainerId);
  Take(j, "parentReadable", d.parentReadable);
  Take(j, "sizeBytes", d.sizeBytes);
  Take(j, "partitionStyle", d.partitionStyle);
  if (j.contains("partitions")) {
    for (const auto& p : j.at("partitions")) d.partitions.push_back(PartitionFrom(p));
  }
  Take(j, "present", d.present);
  Take(j, "writeBytesPerSecond", d.writeBytesPerSecond);
  Take(j, "inDeviceTree", d.inDeviceTree);
  Take(j, "failProperties", d.failProperties);
  Take(j, "nullProperties", d.nullProperties);
  TakeOptional(j, "vanishAfterBytes", d.vanishAfterBytes);
  Take(j, "flipByteAfterUnpack", d.flipByteAfterUnpack);
  return d;
}

Json DiskJson(const DiskDescription& d) {
  Json j{{"number", d.number},
         {"caption", d.caption},
         {"interfaceType", d.interfaceType},
         {"mediaType", d.mediaType},
         {"pnpDeviceId", d.pnpDeviceId},
         {"parentInstanceId", d.parentInstanceId},
         {"parentContainerId", d.parentContainerId ? Json(*d.parentContainerId) : Json()},
         {"parentReadable", d.parentReadable},
         {"sizeBytes", d.sizeBytes},
         {"partitionStyle", d.partitionStyle}};
  Json partitions = Json::array();
  for (const auto& p : d.partitions) partitions.push_back(PartitionJson(p));
  j["partitions"] = partitions;
  j["present"] = d.present;
  j["writeBytesPerSecond"] = d.writeBytesPerSecond;
  j["inDeviceTree"] = d.inDeviceTree;
  j["failProperties"] = d.failProperties;
  j["nullProperties"] = d.nullProperties;
  j["vanishAfterBytes"] = d.vanishAfterBytes ? Json(*d.vanishAfterBytes) : Json();
  j["flipByteAfterUnpack"] = d.flipByteAfterUnpack;
  return j;
}

UserDescription UserFrom(const Json& j) {
  UserDescription u;
  Take(j, "name", u.name);
  Take(j, "sid", u.sid);
  Take(j, "profileFolder", u.profileFolder);
  Take(j, "loggedOn", u.loggedOn);
  Take(j, "sessions", u.sessions);
  Take(j, "interactive", u.interactive);
  Take(j, "deniedKeys", u.deniedKeys);
  if (u.profileFolder.empty()) u.profileFolder = u.name;
  return u;
}

Json UserJson(const UserDescription& u) {
  return Json{{"name", u.name},
              {"sid", u.sid},
              {"profileFolder", u.profileFolder},
              {"loggedOn", u.loggedOn},
              {"sessions", u.sessions},
              {"interactive", u.interactive},
              {"deniedKeys", u.deniedKeys}};
}

MachineFaults FaultsFrom(const Json& j) {
  MachineFaults f;
  Take(j, "diskpartFailCommand", f.diskpartFailCommand);
  Take(j, "diskpartFailRun", f.diskpartFailRun);
  for (const auto& [name, target] :
       {std::pair{"changesAfterDiskpartRun", &f.changesAfterDiskpartRun},
        std::pair{"changesWhenDiskpartRunStarts", &f.changesWhenDiskpartRunStarts},
        std::pair{"changesAfterUnpack", &f.changesAfterUnpack}}) {
    if (!j.contains(name)) continue;
    for (const auto& [run, changes] : j.at(name).items()) {
      (*target)[static_cast<uint32_t>(std::stoul(run))] =
          changes.get<std::map<std::string, std::string>>();
    }
  }
  Take(j, "diskpartSlowRun", f.diskpartSlowRun);
  Take(j, "diskpartSlowMs", f.diskpartSlowMs);
  TakeCode(j, "inventorySecurity", f.inventorySecurity);
  TakeCode(j, "inventoryConnect", f.inventoryConnect);
  Take(j, "inventoryFailQueries", f.inventoryFailQueries);
  Take(j, "inventoryFailAfterRows", f.inventoryFailAfterRows);
  Take(j, "inventoryDelayMs", f.inventoryDelayMs);
  Take(j, "inventoryTimeoutMs", f.inventoryTimeoutMs);
  Take(j, "deviceListFails", f.deviceListFails);
  TakeCode(j, "userEnumeration", f.userEnumeration);
  Take(j, "unloadHiveFailures", f.unloadHiveFailures);
  TakeCalls(j, "discService", f.discService);
  return f;
}

Json FaultsJson(const MachineFaults& f) {
  Json after = Json::object(), starting = Json::object(), unpacked = Json::object();
  for (const auto& [run, fields] : f.changesAfterDiskpartRun) after[std::to_string(run)] = fields;
  for (const auto& [run, fields] : f.changesWhenDiskpartRunStarts) {
    starting[std::to_string(run)] = fields;
  }
  for (const auto& [unpack, fields] : f.changesAfterUnpack) {
    unpacked[std::to_string(unpack)] = fields;
  }
  return Json{{"diskpartFailCommand", f.diskpartFailCommand},
              {"diskpartFailRun", f.diskpartFailRun},
              {"changesAfterDiskpartRun", after},
              {"changesWhenDiskpartRunStarts", starting},
              {"diskpartSlowRun", f.diskpartSlowRun},
              {"diskpartSlowMs", f.diskpartSlowMs},
              {"changesAfterUnpack", unpacked},
              {"inventorySecurity", CodeText(f.inventorySecurity)},
              {"inventoryConnect", CodeText(f.inventoryConnect)},
              {"inventoryFailQueries", f.inventoryFailQueries},
              {"inventoryFailAfterRows", f.inventoryFailAfterRows},
              {"inventoryDelayMs", f.inventoryDelayMs},
              {"inventoryTimeoutMs", f.inventoryTimeoutMs},
              {"deviceListFails", f.deviceListFails},
              {"userEnumeration", f.userEnumeration},
              {"unloadHiveFailures", f.unloadHiveFailures},
              {"discService", CallsJson(f.discService)}};
}

}  // namespace

bool ParseMachineDescription(const std::string& text, MachineDescription& machine,
                             std::string& error) {
  try {
    const Json j = Json::parse(text);
    MachineDescription m;
    Take(j, "computerName", m.computerName);
    Take(j, "windowsVersion", m.windowsVersion);
    Take(j, "systemDrive", m.systemDrive);
    Take(j, "cmdAutoRun", m.cmdAutoRun);
    Take(j, "diskpartLanguage", m.diskpartLanguage);
    Take(j, "currentUser", m.currentUser);
    Take(j, "restorePrivilegeHeld", m.restorePrivilegeHeld);
    Take(j, "userEnumerationBatch", m.userEnumerationBatch);
    if (j.contains("users"))
      for (const auto& u : j.at("users")) m.users.push_back(UserFrom(u));
    if (j.contains("recorders")) {
      for (const auto& r : j.at("recorders")) m.recorders.push_back(RecorderFrom(r));
    }
    if (j.contains("disks"))
      for (const auto& d : j.at("disks")) m.disks.push_back(DiskFrom(d));
    if (j.contains("folderQuotas")) {
      for (const auto& q : j.at("folderQuotas")) {
        FolderQuota quota;
        Take(q, "folder", quota.folder);
        Take(q, "capacityBytes", quota.capacityBytes);
        m.folderQuotas.push_back(quota);
      }
    }
    if (j.contains("faults")) m.faults = FaultsFrom(j.at("faults"));
    Take(j, "automount", m.automount);
    Take(j, "loadedHives", m.loadedHives);
    Take(j, "discsWritten", m.discsWritten);
    Take(j, "diskpartRuns", m.diskpartRuns);
    Take(j, "diskpartHeld", m.diskpartHeld);
    Take(j, "unpacks", m.unpacks);
    Take(j, "pendingRestartDeletes", m.pendingRestartDeletes);
    machine = std::move(m);
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

std::string FormatMachineDescription(const MachineDescription& m) {
  Json j{{"computerName", m.computerName},
         {"windowsVersion", m.windowsVersion},
         {"systemDrive", m.systemDrive},
         {"cmdAutoRun", m.cmdAutoRun},
         {"diskpartLanguage", m.diskpartLanguage},
         {"currentUser", m.currentUser},
         {"restorePrivilegeHeld", m.restorePrivilegeHeld},
         {"userEnumerationBatch", m.userEnumerationBatch}};
  Json users = Json::array(), recorders = Json::array(), disks = Json::array();
  for (const auto& u : m.users) users.push_back(UserJson(u));
  for (const auto& r : m.recorders) recorders.push_back(RecorderJson(r));
  for (const auto& d : m.disks) disks.push_back(DiskJson(d));
  j["users"] = users;
  j["recorders"] = recorders;
  j["disks"] = disks;
  Json quotas = Json::array();
  for (const auto& q : m.folderQuotas) {
    quotas.push_back(Json{{"folder", q.folder}, {"capacityBytes", q.capacityBytes}});
  }
  j["folderQuotas"] = quotas;
  j["faults"] = FaultsJson(m.faults);
  j["automount"] = m.automount;
  j["loadedHives"] = m.loadedHives;
  j["discsWritten"] = m.discsWritten;
  j["diskpartRuns"] = m.diskpartRuns;
  j["diskpartHeld"] = m.diskpartHeld;
  j["unpacks"] = m.unpacks;
  j["pendingRestartDeletes"] = m.pendingRestartDeletes;
  return j.dump(2) + "\n";
}

bool SetDescriptionField(MachineDescription& machine, const std::string& pointer,
                         const std::string& value, std::string& error) {
  try {
    Json j = Json::parse(FormatMachineDescription(machine));
    const Json::json_pointer where(pointer);
    if (!j.contains(where)) {
      error = "the description has no field " + pointer;
      return false;
    }
    Json parsed = Json::parse(value, nullptr, false);
    j[where] = parsed.is_discarded() ? Json(value) : parsed;
    return ParseMachineDescription(j.dump(), machine, error);
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

bool GetDescriptionField(const MachineDescription& machine, const std::string& pointer,
                         std::string& value, std::string& error) {
  try {
    const Json j = Json::parse(FormatMachineDescription(machine));
    const Json::json_pointer where(pointer);
    if (!j.contains(where)) {
      error = "the description has no field " + pointer;
      return false;
    }
    value = j.at(where).dump(2);
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

uint64_t DefaultDiscCapacity(uint32_t mediaType) {
  switch (mediaType) {
    case 1:
    case 2:
    case 3:
      return 737'280'000;  // CD
    case 8:
    case 11:
    case 13:
      return 8'547'991'552;  // dual-layer DVD
    case 17:
    case 18:
    case 19:
      return 25'025'314'816;  // BD
    default:
      return 4'707'319'808;  // DVD
  }
}

}  // namespace kestrune::sim
