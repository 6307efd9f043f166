// Which vector instructions the searches over protocol bytes may use (the
// word sets of NeedleSet and the line reader's block search), decided once
// for the whole program from what the processor has.
//
// The vector code is compiled for x86-64 with GCC or Clang only
// (SPK_X86_VECTORS); the 32-byte functions carry their own target attribute,
// so the program runs on any x86-64 processor and takes them only where the
// processor has AVX2. Every level gives the same results; only the speed
// differs.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#define SPK_X86_VECTORS 1
#endif

namespace spekolar {

// 0: portable code only; 1: 16-byte vectors (SSE2, every x86-64 has them);
// 2: 32-byte vectors (AVX2).
int VectorLevel();

// Tests and benchmarks: limits every search to `level` (and to what the
// processor has); 2, the default, allows the widest vectors.
void LimitVectorLevelForTesting(int level);

}  // namespace spekolar
