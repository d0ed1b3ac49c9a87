#include "common/responsive_call.h"

#include <exception>
#include <utility>

namespace converter {

namespace {

ResponsiveRunner& InstalledRunner() {
    static ResponsiveRunner runner;
    return runner;
}

// Set on a thread while it runs work given to the runner: work started from there is already
// away from the front end and runs in place, rather than asking the front end (which belongs to
// another thread) to wait for it.
thread_local bool insideRunner = false;

class InsideRunner {
public:
    InsideRunner() : previous_(std::exchange(insideRunner, true)) {}
    ~InsideRunner() { insideRunner = previous_; }
    InsideRunner(const InsideRunner&) = delete;
    InsideRunner& operator=(const InsideRunner&) = delete;

private:
    bool previous_;
};

}  // namespace

void RunResponsively(const std::function<void()>& work) {
    // A copy: the front end may take its runner back while this work is under way.
    const ResponsiveRunner runner = InstalledRunner();
    if (!runner || insideRunner) {
        work();
        return;
    }
    // Caught where it is thrown, on the runner's thread, and thrown again here: the runner
    // never sees an exception, and the caller handles it as if the work had run in place.
    std::exception_ptr failure;
    runner([&work, &failure] {
        const InsideRunner inside;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void SetResponsiveRunner(ResponsiveRunner runner) {
    InstalledRunner() = std::move(runner);
}

}  // namespace converter
