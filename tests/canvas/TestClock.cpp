#include "tests/canvas/TestClock.h"

#include "canvas/CanvasClock.h"

namespace lumenfall::test
{

TestClock::TestClock(double startMs)
    : mNowMs(startMs)
{
    plugkit::canvas::CanvasClock::SetSource(
        [](void* context) { return static_cast<TestClock*>(context)->mNowMs; }, this);
}

TestClock::~TestClock()
{
    plugkit::canvas::CanvasClock::SetSource(nullptr, nullptr);
}

} // namespace lumenfall::test
