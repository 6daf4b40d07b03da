#pragma once

#include "plugkit/vst3/Vst3Sdk.h"

namespace plugkit
{

/// Writes all `size` bytes, looping over short writes; false when a write fails or reports
/// fewer than 1 or more bytes than were left.
bool WriteWholeStream(Steinberg::IBStream* stream, const void* bytes, Steinberg::int32 size);
/// Reads exactly `size` bytes, looping over short reads; false when a read fails or reports
/// fewer than 1 or more bytes than were asked for.
bool ReadWholeStream(Steinberg::IBStream* stream, void* bytes, Steinberg::int32 size);
/// True when the stream has nothing more to read: one more read yields no byte and no error
/// (kResultOk or kResultFalse).
bool StreamEnded(Steinberg::IBStream* stream);

} // namespace plugkit
