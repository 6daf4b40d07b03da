#pragma once

namespace plugkit::canvas
{

/// The toolkit's time source: milliseconds of a steady clock. Animations read it
/// through `CanvasClock::NowMs`, so tests can replace it and step time exactly.
class CanvasClock
{
public:
    using Source = double (*)(void* context);

    /// Milliseconds since an arbitrary fixed origin, never decreasing.
    static double NowMs();

    /// Replaces the source; a null source restores the steady clock. [ui-thread]
    static void SetSource(Source source, void* context);
};

} // namespace plugkit::canvas
