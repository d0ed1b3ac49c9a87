#pragma once

#include <functional>

namespace converter {

// Runs `work` to its end; where a front end installed a runner (the window), the work runs on
// a thread of its own while the front end keeps answering. Exceptions thrown by `work` reach
// the caller.
void RunResponsively(const std::function<void()>& work);
using ResponsiveRunner = std::function<void(const std::function<void()>&)>;
void SetResponsiveRunner(ResponsiveRunner runner);  // empty: run in place (console, tests)

}  // namespace converter
