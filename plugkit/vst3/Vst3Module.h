#pragma once

#include "plugkit/vst3/CPluginFactory.h"

#include <atomic>
#include <cstdint>

namespace plugkit
{

/// The fixed facts of a module with one class, as the factory reports them.
struct Vst3ModuleDescription
{
    const char* vendor = "";        ///< factory vendor (64 bytes)
    const char* url = "";           ///< factory web address (256 bytes)
    const char* email = "";         ///< factory support address (128 bytes)
    std::uint32_t classId[4] = {};  ///< four words; laid out per platform (COM order on Windows)
    const char* category = "";      ///< class category (32 bytes)
    const char* name = "";          ///< class name (64 bytes)
    std::uint32_t classFlags = 0;   ///< class flags
    const char* subCategories = ""; ///< e.g. "Fx|Reverb" (128 bytes)
    const char* classVendor = "";   ///< class vendor (64 bytes); empty defers to the factory
    const char* version = "";       ///< class version text (64 bytes)
    const char* sdkVersion = "";    ///< SDK version text (64 bytes)
    Vst3CreateFunc create = nullptr;
};

/// The module's factory: the existing one with one more reference, or a new one
/// built from the description with its class registered (its first reference is the
/// caller's). Null when the factory cannot be allocated.
Steinberg::IPluginFactory* GetModuleFactory(const Vst3ModuleDescription& description);

/// The word of the four characters at `text` (zeros past its end), the first in the most
/// significant byte.
constexpr std::uint32_t FourCharCodeOf(const char* text)
{
    std::uint32_t word = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i)
    {
        ended = ended || text[i] == 0;
        word = (word << 8) | (ended ? 0u : std::uint32_t(std::uint8_t(text[i])));
    }
    return word;
}

/// The word of a four-character code, its first letter in the most significant byte.
constexpr std::uint32_t FourCharCode(const char (&code)[5])
{
    return FourCharCodeOf(code);
}

/// The load counter behind InitDll/ExitDll (ModuleEntry/ModuleExit): the first Enter
/// runs the init hook, the Leave that takes the count back to 0 runs the deinit hook.
/// A Leave without a matching Enter returns false and leaves the count at 0.
class ModuleLoadCounter
{
public:
    using Hook = bool (*)();

    bool Enter(Hook init);
    bool Leave(Hook deinit);
    int Count() const { return mCount.load(); }

private:
    std::atomic<int> mCount{0};
};

} // namespace plugkit
