#include "platform/win32/windows_support.h"

#include <algorithm>

#include "sabrel/file_digest.h"

namespace kestrune::sabrel {
namespace {

FileDigest Failed(DigestOutcome outcome, DWORD error = 0) {
  FileDigest result;
  result.outcome = outcome;
  result.systemError = error;
  return result;
}

FileDigest FailedFromError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return Failed(DigestOutcome::kMissing, error);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return Failed(DigestOutcome::kDenied, error);
    default:
      return Failed(DigestOutcome::kReadError, error);
  }
}

}  // namespace

FileDigest DigestFile(const std::filesystem::path& path, std::span<std::byte> buffer, Md5& md5,
                      std::atomic<std::uint64_t>* bytesRead) {
  // A folder cannot be opened without backup semantics and would only report "access
  // denied"; asking first gives the same verdict as the Linux build.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailedFromError(GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Failed(DigestOutcome::kNotRegular);

  const windows::UniqueHandle file(CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return FailedFromError(GetLastError());
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return Failed(DigestOutcome::kNotRegular);

  if (!md5.Begin()) return Failed(DigestOutcome::kHashFailed);
  const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 0x40000000));
  while (true) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.data(), chunk, &got, nullptr)) {
      return Failed(DigestOutcome::kReadError, GetLastError());
    }
    if (got == 0) break;
    if (bytesRead != nullptr) bytesRead->fetch_add(got);
    if (!md5.Update(buffer.first(got))) return Failed(DigestOutcome::kHashFailed);
  }
  const auto digest = md5.Finish();
  if (!digest) return Failed(DigestOutcome::kHashFailed);
  FileDigest result;
  result.outcome = DigestOutcome::kDone;
  result.digest = *digest;
  return result;
}

}  // namespace kestrune::sabrel
