// What the process services ask of the instances of our other programs on
// the session bus.
#pragma once

#include <sys/types.h>

namespace SingleInstanceInternal {

enum class Request { Activate, Show, Hide, IsVisible };

// Sends the request to the instance of one of our programs that runs as
// `pid` and waits a short while for its answer. False when no instance of
// ours runs as it (or it did not answer); `visible` (may be nil) gets the
// answer to IsVisible.
bool AskInstanceOfProcess(pid_t pid, Request request, bool* visible);

}  // namespace SingleInstanceInternal
