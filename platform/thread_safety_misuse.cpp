// Must not compile under clang's -Wthread-safety -Werror: the test thread_safety_is_checked
// expects the compiler to reject this unguarded write. If it compiles, the annotations of
// platform/mutex.h have stopped reaching the analysis.
#include "platform/mutex.h"

namespace kestrune::platform {

struct Counter {
  Mutex mutex;
  int value KESTRUNE_GUARDED_BY(mutex) = 0;

  void IncrementWithoutLock() { ++value; }
};

}  // namespace kestrune::platform
