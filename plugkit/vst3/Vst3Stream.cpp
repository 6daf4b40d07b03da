#include "plugkit/vst3/Vst3Stream.h"

#include <cstdint>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace plugkit
{

bool WriteWholeStream(IBStream* stream, const void* bytes, int32 size)
{
    auto* p = static_cast<std::uint8_t*>(const_cast<void*>(bytes)); // IBStream::write is not const
    int32 done = 0;
    while (done < size)
    {
        int32 written = 0;
        if (stream->write(p + done, size - done, &written) != kResultOk || written < 1 ||
            written > size - done)
            return false;
        done += written;
    }
    return true;
}

bool ReadWholeStream(IBStream* stream, void* bytes, int32 size)
{
    auto* p = static_cast<std::uint8_t*>(bytes);
    int32 done = 0;
    while (done < size)
    {
        int32 read = 0;
        if (stream->read(p + done, size - done, &read) != kResultOk || read < 1 ||
            read > size - done)
            return false;
        done += read;
    }
    return true;
}

bool StreamEnded(IBStream* stream)
{
    std::uint8_t extra = 0;
    int32 read = 0;
    const tresult result = stream->read(&extra, 1, &read);
    return read == 0 && (result == kResultOk || result == kResultFalse);
}

} // namespace plugkit
