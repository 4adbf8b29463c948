#pragma once

// The one way into the Windows API. Every file under a win32/ folder includes this header
// instead of <windows.h>, so that the API is seen with the same settings everywhere and every
// handle, key and COM pointer has one kind of owner. Header-only: Harlune and Sabrel use it
// without linking anything of the rest of the system.

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Windows 7 is the oldest system the programs run on, so nothing newer may be called. The
// C runtime's headers set a newer default version, which is why this header comes first
// (.clang-format sorts it there).
#if defined(_WIN32_WINNT) && _WIN32_WINNT != 0x0601
#error "include platform/win32/windows_support.h before any other header"
#endif
#define _WIN32_WINNT 0x0601
#ifndef WINVER
#define WINVER 0x0601
#endif

#include <windows.h>
// A 16-bit relic that would rename the volume port's GetFreeSpace in every file after this one.
#undef GetFreeSpace

#include <string>
#include <string_view>
#include <utility>

namespace kestrune::windows {

/// Owns one value of a Windows handle type and gives it back to the system once. `Traits`
/// names the type (`Handle`), the value that owns nothing (`Empty()`), which values are real
/// (`IsValid`) and how one is given back (`Close`, true on success). Not copyable; moving
/// hands the value over and leaves the source empty.
template <typename Traits>
class ScopedOwner {
 public:
  using Handle = typename Traits::Handle;

  ScopedOwner() noexcept = default;
  explicit ScopedOwner(Handle handle) noexcept : handle_(handle) {}
  ~ScopedOwner() { Reset(); }
  ScopedOwner(ScopedOwner&& other) noexcept : handle_(other.Release()) {}
  ScopedOwner& operator=(ScopedOwner&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedOwner(const ScopedOwner&) = delete;
  ScopedOwner& operator=(const ScopedOwner&) = delete;

  [[nodiscard]] Handle get() const noexcept { return handle_; }
  [[nodiscard]] bool valid() const noexcept { return Traits::IsValid(handle_); }
  explicit operator bool() const noexcept { return valid(); }

  /// Gives up ownership without closing.
  [[nodiscard]] Handle Release() noexcept { return std::exchange(handle_, Traits::Empty()); }

  /// Closes the value held (if any) and takes `handle` instead.
  void Reset(Handle handle = Traits::Empty()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (Traits::IsValid(old)) Traits::Close(old);
  }

  /// Closes now; false when the system reports a failure (a written file whose last data
  /// could not be flushed). Closing nothing succeeds.
  [[nodiscard]] bool Close() noexcept {
    const Handle old = std::exchange(handle_, Traits::Empty());
    return !Traits::IsValid(old) || Traits::Close(old);
  }

  /// For an API that returns the value through an out-parameter (RegOpenKeyExW(&key)):
  /// closes what is held and gives the address to fill.
  [[nodiscard]] Handle* Receive() noexcept {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Empty();
};

/// Kernel objects and files (CreateFileW, processes, events, power requests). Both null and
/// INVALID_HANDLE_VALUE own nothing, since the APIs report failure with one or the other.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  static bool Close(Handle handle) noexcept { return CloseHandle(handle) != FALSE; }
};
using UniqueHandle = ScopedOwner<KernelHandleTraits>;

/// Searches of FindFirstFileW, ended with FindClose.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle handle) noexcept { return handle != INVALID_HANDLE_VALUE; }
  static bool Close(Handle handle) noexcept { return FindClose(handle) != FALSE; }
};
using UniqueFindHandle = ScopedOwner<FindHandleTraits>;

/// Registry keys opened or created by the program (never the predefined roots such as
/// HKEY_USERS, which are not to be closed).
struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsValid(Handle key) noexcept { return key != nullptr; }
  static bool Close(Handle key) noexcept { return RegCloseKey(key) == ERROR_SUCCESS; }
};
using UniqueRegistryKey = ScopedOwner<RegistryKeyTraits>;

/// Memory the system allocated for the caller with LocalAlloc (FormatMessageW with
/// FORMAT_MESSAGE_ALLOCATE_BUFFER, CommandLineToArgvW, ConvertSidToStringSidW).
template <typename Pointer>
struct LocalMemoryTraits {
  using Handle = Pointer;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsValid(Handle memory) noexcept { return memory != nullptr; }
  static bool Close(Handle memory) noexcept { return LocalFree(memory) == nullptr; }
};
template <typename Pointer>
using UniqueLocalMemory = ScopedOwner<LocalMemoryTraits<Pointer>>;

/// Owns one reference to a COM interface and releases it on scope exit. Not copyable: a
/// second reference is taken only on purpose, with `AddRef`-ing APIs such as QueryInterface.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  /// Takes over a reference the caller already holds (it is not AddRef-ed again).
  explicit ComPtr(Interface* pointer) noexcept : pointer_(pointer) {}
  ~ComPtr() { Reset(); }
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.pointer_, nullptr));
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  [[nodiscard]] Interface* get() const noexcept { return pointer_; }
  Interface* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }

  /// Releases the reference held (if any) and takes over `pointer`.
  void Reset(Interface* pointer = nullptr) noexcept {
    Interface* old = std::exchange(pointer_, pointer);
    if (old != nullptr) old->Release();
  }

  /// Gives up the reference without releasing it.
  [[nodiscard]] Interface* Detach() noexcept { return std::exchange(pointer_, nullptr); }

  /// For CoCreateInstance, QueryInterface and the properties that hand out an interface:
  /// releases what is held and gives the address to fill.
  [[nodiscard]] Interface** Receive() noexcept {
    Reset();
    return &pointer_;
  }
  /// The same as `void**`, for the APIs declared with it (CoCreateInstance).
  [[nodiscard]] void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }

 private:
  Interface* pointer_ = nullptr;
};

/// The system's text for a Windows error code, without the line end FormatMessageW adds;
/// "error N" when the system has none.
inline std::wstring SystemErrorText(DWORD error) {
  UniqueLocalMemory<wchar_t*> text;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(text.Receive()), 0, nullptr);
  std::wstring message = length > 0 && text.valid() ? std::wstring(text.get(), length)
                                                    : L"error " + std::to_wstring(error);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
    message.pop_back();
  }
  return message;
}

/// The first call of every program that may run with administrator rights, before anything
/// loads a library: libraries that are not named by a full path come from the system folder
/// only (SetDefaultDllDirectories with LOAD_LIBRARY_SEARCH_SYSTEM32), never from the program's
/// folder or the current folder, where a user may have put a DLL of the same name; and
/// SearchPathW looks in the current folder last. Windows 7 without update KB2533623 lacks
/// SetDefaultDllDirectories: there the current folder is at least taken out of the library
/// search (SetDllDirectoryW with an empty string). Both functions are looked up at run time.
inline void HardenSearchPaths() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using FlagsFunction = BOOL(WINAPI*)(DWORD);
  const auto lookUp = [kernel](const char* name) {
    return kernel == nullptr ? nullptr
                             : reinterpret_cast<FlagsFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(kernel, name)));
  };
  const FlagsFunction setDefaultDllDirectories = lookUp("SetDefaultDllDirectories");
  if (setDefaultDllDirectories == nullptr ||
      !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    SetDllDirectoryW(L"");
  }
  const FlagsFunction setSearchPathMode = lookUp("SetSearchPathMode");
  if (setSearchPathMode != nullptr) {
    setSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
  }
}

/// `text` in the code page `codePage` (CP_UTF8, CP_ACP...); characters the code page lacks
/// become its default character.
inline std::string NarrowText(std::wstring_view text, UINT codePage) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

}  // namespace kestrune::windows
