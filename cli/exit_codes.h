#pragma once

namespace lucentor {

// The exit code of lucentor-render and lucentor-view for arguments or a scene file they
// cannot use; nothing has been rendered or written by then.
inline constexpr int kExitBadArguments = 2;

// The exit code for a scene file that cannot be opened or read.
inline constexpr int kExitCannotRead = 1;

}  // namespace lucentor
