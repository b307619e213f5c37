#pragma once
// The writer's numbered error.

#include "common/RuntimeError.h"

namespace ostrovel {

/// The writer's error 5 for `status`.
RuntimeError SaveError(int status);

} // namespace ostrovel
