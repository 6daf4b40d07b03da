#pragma once

namespace plugkit
{

/// The host's transport at the start of the current block; the adapters fill it every block.
/// A position of -1 means the host gave none.
struct TransportInfo
{
    double mTempo = 120.0;     ///< beats per minute
    double mSamplePos = -1.0;  ///< project time in samples
    double mPPQPos = -1.0;     ///< musical position in quarter notes
    double mLastBar = -1.0;    ///< start of the last bar in quarter notes
    double mCycleStart = -1.0; ///< in quarter notes
    double mCycleEnd = -1.0;   ///< in quarter notes
    int mNumerator = 4;
    int mDenominator = 4;
    bool mPlaying = false;
    bool mLooping = false;
    bool mRecording = false;
};

} // namespace plugkit
