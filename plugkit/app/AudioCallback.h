#pragma once

#include "plugkit/HeapBuffer.h"

#include <atomic>
#include <cstdint>

namespace plugkit
{
class IPluginApp;
} // namespace plugkit

namespace plugkit::app
{

/// Ramps a non-interleaved buffer (channel c of an n-frame buffer starts at sample c x n):
/// frame k is multiplied by k / n to fade in (0 up to (n - 1) / n), or by (n - 1 - k) / n to
/// fade out ((n - 1) / n down to 0).
void ApplyLinearFade(double* buffer, int channels, int frames, bool fadeOut);

/// The device side of the plug-in's audio: each device buffer is handed to the plug-in in
/// consecutive chunks of at most 512 frames that cover it exactly, the first buffer of a stream
/// fades in, and a stop request fades the next buffer out and silences every later one.
///
/// Threads: `Process` runs on the audio thread and neither allocates nor locks. `Prepare` is the
/// UI thread's while no stream runs; `RequestStop` and `IsFadedOut` are the UI thread's side of
/// the stop handshake while it runs.
class AudioCallback
{
public:
    /// Frames of the longest chunk.
    static constexpr int kChunkFrames = 512;

    /// [ui-thread & stream closed] Feeds `plugin` from now on, with one pointer per channel of
    /// it, and clears the flags: the next buffer fades in. False when the pointer arrays could
    /// not be had (nothing is fed then).
    bool Prepare(IPluginApp* plugin);

    /// [audio-thread] One device buffer of `frames` frames: `output` holds a channel for each
    /// plug-in output, `input` one for each plug-in input, or is null for silence. Both are
    /// faded in place when the buffer fades; once faded out, the output is zeroed instead.
    void Process(double* output, double* input, uint32_t frames);

    /// [ui-thread] The next buffer fades out, and every later one is silent.
    void RequestStop() { mStopping.store(true, std::memory_order_release); }
    /// [any-thread] True once the fading-out buffer has been delivered.
    bool IsFadedOut() const { return mFadedOut.load(std::memory_order_acquire); }
    bool IsStopping() const { return mStopping.load(std::memory_order_acquire); }

private:
    IPluginApp* mPlugin = nullptr;
    int mNumInputs = 0;
    int mNumOutputs = 0;
    HeapBuffer mInputs{256};  ///< double* per plug-in input
    HeapBuffer mOutputs{256}; ///< double* per plug-in output
    /// The audio thread's own: clear until a stream's first buffer has gone through.
    bool mStarted = false;
    std::atomic<bool> mStopping{false};
    std::atomic<bool> mFadedOut{false};
};

} // namespace plugkit::app
