#include "app/autoplay.h"

namespace kestrune {

// Placeholders until autoplay suppression is built: nothing is changed.
void UserHiveList::AddUser(const std::wstring&) { static_cast<void>(registry_); }

void UserHiveList::RestoreAll() { entries_.clear(); }

}  // namespace kestrune
