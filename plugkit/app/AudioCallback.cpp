#include "plugkit/app/AudioCallback.h"

#include "plugkit/app/IPluginApp.h"

#include <algorithm>
#include <cstring>

namespace plugkit::app
{

void ApplyLinearFade(double* buffer, int channels, int frames, bool fadeOut)
{
    if (!buffer || frames <= 0)
        return;
    const double n = frames;
    for (int c = 0; c < channels; ++c)
    {
        double* channel = buffer + static_cast<size_t>(c) * static_cast<size_t>(frames);
        for (int k = 0; k < frames; ++k)
            channel[k] *= (fadeOut ? (n - 1.0 - k) : double(k)) / n;
    }
}

bool AudioCallback::Prepare(IPluginApp* plugin)
{
    mPlugin = nullptr;
    mStarted = false;
    mStopping.store(false, std::memory_order_relaxed);
    mFadedOut.store(false, std::memory_order_relaxed);
    if (!plugin)
        return false;
    const int nIn = plugin->NChannels(kInput);
    const int nOut = plugin->NChannels(kOutput);
    const auto bytes = [](int n) { return static_cast<int32_t>(n * sizeof(double*)); };
    mInputs.Resize(bytes(nIn));
    mOutputs.Resize(bytes(nOut));
    if (mInputs.Size() != bytes(nIn) || mOutputs.Size() != bytes(nOut))
        return false;
    mNumInputs = nIn;
    mNumOutputs = nOut;
    mPlugin = plugin;
    return true;
}

void AudioCallback::Process(double* output, double* input, uint32_t frames)
{
    const int n = static_cast<int>(std::min<uint32_t>(frames, INT32_MAX));
    if (n <= 0)
        return;
    const bool stopping = mStopping.load(std::memory_order_acquire);
    const bool fade = !mStarted || stopping;
    mStarted = true;
    if (mFadedOut.load(std::memory_order_relaxed) || !mPlugin)
    {
        if (output)
            std::memset(output, 0, sizeof(double) * size_t(n) * size_t(mNumOutputs));
        return;
    }
    if (fade)
        ApplyLinearFade(input, mNumInputs, n, stopping);

    auto** ins = static_cast<double**>(mInputs.Get());
    auto** outs = static_cast<double**>(mOutputs.Get());
    for (int s = 0; s < n; s += kChunkFrames)
    {
        const int chunk = std::min(kChunkFrames, n - s);
        for (int c = 0; c < mNumInputs; ++c)
            ins[c] = input ? input + size_t(c) * size_t(n) + size_t(s) : nullptr;
        for (int c = 0; c < mNumOutputs; ++c)
            outs[c] = output ? output + size_t(c) * size_t(n) + size_t(s) : nullptr;
        mPlugin->ProcessAudioBlock(ins, outs, chunk);
    }

    if (fade)
        ApplyLinearFade(output, mNumOutputs, n, stopping);
    if (stopping)
        mFadedOut.store(true, std::memory_order_release);
}

} // namespace plugkit::app
