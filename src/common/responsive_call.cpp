#include "common/responsive_call.h"

namespace converter {

namespace {

ResponsiveRunner& Runner() {
    static ResponsiveRunner runner;
    return runner;
}

}  // namespace

void RunResponsively(const std::function<void()>& work) {
    if (Runner()) {
        Runner()(work);
    } else {
        work();
    }
}

void SetResponsiveRunner(ResponsiveRunner runner) {
    Runner() = std::move(runner);
}

}  // namespace converter
