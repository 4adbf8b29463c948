#include "app/autoplay.h"

namespace kestrune {

// Placeholders until autoplay suppression is built: nothing is changed.
void UserHiveList::AddUser(const std::wstring&) {}

void UserHiveList::RestoreAll() { entries_.clear(); }

}  // namespace kestrune
