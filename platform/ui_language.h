#pragma once

namespace kestrune::platform {

/// The language the user has chosen for program texts, as the system reports it.
class UiLanguage {
 public:
  virtual ~UiLanguage() = default;

  /// True when the user wants Japanese texts: on Windows the user's UI language has the
  /// primary language Japanese; on Linux the message locale names Japanese.
  [[nodiscard]] virtual bool PrefersJapanese() = 0;
};

}  // namespace kestrune::platform
