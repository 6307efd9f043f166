// Which system the program was built for, for the few operator texts that
// must say different things on each (exit codes as the shell shows them,
// where the installation directory is kept). Behaviour never branches on
// this: that is what the platform layer's implementations are for.
#pragma once

namespace spekolar::platform {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

}  // namespace spekolar::platform
