#include "tools/sample_set.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "platform/host/host_process_launcher.h"
#include "sim/seven_zip.h"

namespace kestrune::tools {
namespace {

namespace fs = std::filesystem;

class Md5 {
 public:
  Md5() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    EVP_DigestInit_ex(context_.get(), EVP_md5(), nullptr);
  }
  void Add(const char* data, size_t size) { EVP_DigestUpdate(context_.get(), data, size); }
  std::string Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_.get(), digest, &length);
    std::string text;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
      std::snprintf(pair, sizeof pair, "%02x", digest[i]);
      text += pair;
    }
    return text;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context_;
};

// Incompressible filler from a seed (xorshift64*): part files look like real image data.
class Filler {
 public:
  explicit Filler(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  void Fill(std::vector<char>& buffer) {
    for (size_t i = 0; i + 8 <= buffer.size(); i += 8) {
      state_ ^= state_ >> 12, state_ ^= state_ << 25, state_ ^= state_ >> 27;
      const uint64_t value = state_ * 0x2545F4914F6CDD1Dull;
      std::copy_n(reinterpret_cast<const char*>(&value), 8, buffer.data() + i);
    }
  }

 private:
  uint64_t state_;
};

class SetWriter {
 public:
  SetWriter(const SampleSetOptions& options, SampleSet& set) : options_(options), set_(set) {}

  fs::path Staging(int disc) const {
    return options_.folder / (".staging-" + std::to_string(disc));
  }

  bool Text(int disc, const std::string& path, const std::string& text) {
    return Write(disc, path, text.size(), [&](std::ostream& out, Md5& md5) {
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      md5.Add(text.data(), text.size());
    });
  }

  bool Random(int disc, const std::string& path, uint64_t size, uint64_t seed) {
    return Write(disc, path, size, [&](std::ostream& out, Md5& md5) {
      Filler filler(seed);
      std::vector<char> buffer(1 << 20);
      for (uint64_t done = 0; done < size;) {
        filler.Fill(buffer);
        const auto n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - done));
        out.write(buffer.data(), static_cast<std::streamsize>(n));
        md5.Add(buffer.data(), n);
        done += n;
      }
    });
  }

  std::string error;

 private:
  template <typename Body>
  bool Write(int disc, const std::string& path, uint64_t size, Body body) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    const fs::path file = Staging(disc) / native;
    std::error_code fsError;
    fs::create_directories(file.parent_path(), fsError);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    Md5 md5;
    body(out, md5);
    if (!out.flush()) {
      error = "cannot write " + file.string();
      return false;
    }
    set_.files.push_back({disc, path, md5.Hex(), size});
    return true;
  }

  const SampleSetOptions& options_;
  SampleSet& set_;
};

// Image and index file names of part g (from 0): data parts first, then install parts.
struct PartNames {
  std::string image, index;
};

PartNames NamesOfPart(int g, int installParts, int dataParts) {
  const bool hasData = dataParts > 0;
  const bool isData = hasData && g < dataParts;
  const int count = isData ? dataParts : installParts;
  const int k = isData ? g + 1 : g - dataParts + 1;
  const std::string stem = isData ? "data" : "install";
  PartNames names;
  if (k == 1) {
    names.image = "sources\\" + stem + (count == 1 ? ".wim" : ".swm");
  } else {
    names.image = "sources\\" + stem + std::to_string(k) + ".swm";
  }
  names.index = "media\\" + std::to_string(count) + "_" + std::to_string(k) +
                (hasData ? "_" + stem : std::string()) + ".txt";
  return names;
}

std::string ListText(const SampleSet& set, bool utf8) {
  std::string list;
  for (const auto& file : set.files) {
    char medium[16];
    std::snprintf(medium, sizeof medium, "Media%02d\\", file.disc);
    list += file.md5 + " " + medium + file.path + "\r\n";
  }
  if (utf8) return "\xEF\xBB\xBF" + list;
  std::string utf16 = "\xFF\xFE";
  for (const char c : list) utf16 += c, utf16 += '\0';  // the list is ASCII
  return utf16;
}

}  // namespace

bool MakeSampleSet(const SampleSetOptions& options, SampleSet& set, std::string& error) {
  int installParts = options.installParts;
  if (installParts == 0) installParts = std::max(2, options.discs - options.dataParts);
  if (installParts < 1 || installParts > 9 || options.dataParts < 0 || options.dataParts > 9) {
    error = "install parts must be 1 to 9 and data parts 0 to 9";
    return false;
  }
  const int parts = installParts + options.dataParts;
  if (options.discs > 9) {
    error = "a set has at most nine discs";
    return false;
  }
  if (options.discs > parts) {
    error = std::to_string(options.discs) + " discs need at least as many image parts, and " +
            "there are " + std::to_string(parts) + " (install parts and data parts together)";
    return false;
  }
  const int discs = options.discs > 0 ? options.discs : (parts + 1) / 2;
  const int perDisc = (parts + discs - 1) / discs;
  std::error_code fsError;
  fs::create_directories(options.folder, fsError);
  set = SampleSet{};
  SetWriter writer(options, set);

  const std::string version = "Recovery set " + options.label + "\r\nVersion 1.0.0\r\n";
  bool ok =
      writer.Text(1, "bootmgr", "boot manager of the recovery set\r\n") &&
      writer.Random(1, "boot\\bcd", 16384, options.seed * 100 + 1) &&
      writer.Random(1, "efi\\boot\\bootx64.efi", 65536, options.seed * 100 + 2) &&
      writer.Random(1, "sources\\boot.wim", 131072, options.seed * 100 + 3) &&
      writer.Text(1, "recovery\\oem\\oem.ini", "[Recovery]\r\nLabel=" + options.label + "\r\n");
  for (int g = 0; ok && g < parts; ++g) {
    const int disc = g / perDisc + 1;
    const PartNames names = NamesOfPart(g, installParts, options.dataParts);
    const uint64_t bytes =
        options.partBytes / static_cast<uint64_t>(parts) + (g == 0 ? options.partBytes % parts : 0);
    ok = writer.Random(disc, names.image, bytes,
                       options.seed * 100 + 10 + static_cast<uint64_t>(g)) &&
         writer.Text(disc, names.index, names.image + "\r\n" + std::to_string(bytes) + "\r\n");
  }
  for (int disc = 1; ok && disc <= discs; ++disc) ok = writer.Text(disc, "version.doc", version);
  if (!ok) {
    error = writer.error;
    return false;
  }
  {
    std::ofstream list(writer.Staging(1) / "recovery" / "oem" / "MD5_OEM_RCV_Partition.txt",
                       std::ios::binary);
    list << ListText(set, options.utf8List);
    if (!list.flush()) {
      error = "cannot write the MD5 list";
      return false;
    }
  }
  for (int disc = 1; disc <= discs; ++disc) {
    const fs::path image = options.folder / (options.imagePrefix + std::to_string(disc) + ".iso");
    fs::remove(image, fsError);
    const std::string volume = (options.label + "_" + std::to_string(disc)).substr(0, 32);
    if (platform::host::RunQuietly({"xorriso", "-as", "mkisofs", "-quiet", "-o", image.string(),
                                    "-V", volume, "-J", "-joliet-long", "-r", "-iso-level", "3",
                                    writer.Staging(disc).string()}) != 0) {
      error = "xorriso could not make " + image.string();
      return false;
    }
    set.images.push_back(image);
  }
  if (!options.archivePassword.empty()) {
    const fs::path content = options.folder / ".staging-archive";
    fs::create_directories(content, fsError);
    std::ofstream(content / "readme.txt")
        << "Recovery media package for " << options.label << "\r\n";
    std::ofstream(content / "setup.ini") << "[Package]\r\nDiscs=" << discs << "\r\n";
    set.archive = options.folder / options.archiveName;
    fs::remove(set.archive, fsError);
    if (platform::host::RunQuietly({sim::SevenZipProgram(), "a", "-bd",
                                    "-p" + options.archivePassword, "-mhe=on", set.archive.string(),
                                    (content / "readme.txt").string(),
                                    (content / "setup.ini").string()}) != 0) {
      error = "7-Zip could not make " + set.archive.string();
      return false;
    }
    fs::remove_all(content, fsError);
  }
  for (int disc = 1; disc <= discs; ++disc) fs::remove_all(writer.Staging(disc), fsError);
  return true;
}

}  // namespace kestrune::tools
