#include "canvas/CanvasClock.h"

#include <chrono>

namespace plugkit::canvas
{

namespace
{
double SteadyNowMs(void*)
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

CanvasClock::Source sSource = &SteadyNowMs;
void* sContext = nullptr;
} // namespace

double CanvasClock::NowMs()
{
    return sSource(sContext);
}

void CanvasClock::SetSource(Source source, void* context)
{
    sSource = source ? source : &SteadyNowMs;
    sContext = source ? context : nullptr;
}

} // namespace plugkit::canvas
