#include "text/VectorLevel.h"

namespace spekolar {

namespace {

int ChooseLevel(int limit) {
#if SPK_X86_VECTORS
  __builtin_cpu_init();
  if (limit >= 2 && __builtin_cpu_supports("avx2")) return 2;
  if (limit >= 1) return 1;
#endif
  (void)limit;
  return 0;
}

// Chosen on first use, so that no order of static initialisation can meet
// it unset.
int& ActiveLevel() {
  static int level = ChooseLevel(2);
  return level;
}

}  // namespace

int VectorLevel() { return ActiveLevel(); }

void LimitVectorLevelForTesting(int level) { ActiveLevel() = ChooseLevel(level); }

}  // namespace spekolar
