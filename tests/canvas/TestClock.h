#pragma once

namespace lumenfall::test
{

/// Replaces the toolkit's clock while alive; time moves only when a test says so.
class TestClock
{
public:
    explicit TestClock(double startMs = 1000.0);
    ~TestClock();
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    double NowMs() const { return mNowMs; }
    void Set(double ms) { mNowMs = ms; }
    void Advance(double ms) { mNowMs += ms; }

private:
    double mNowMs;
};

} // namespace lumenfall::test
