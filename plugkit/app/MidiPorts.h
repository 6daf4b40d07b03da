#pragma once

#include "plugkit/HeapString.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plugkit::app
{

/// The MIDI input callback, in the port layer's form: the bytes of one whole message.
using MidiInputFunc = void (*)(double timeStamp, const uint8_t* bytes, size_t size, void* user);

/// The ports of one direction of the system's MIDI layer (the port list), and at most one of
/// them open. Ports are numbered 0 .. PortCount() - 1. No call throws: a failure is a false or
/// empty result, and its text goes to the standard error stream.
class IMidiPorts
{
public:
    virtual ~IMidiPorts() = default;

    virtual uint32_t PortCount() = 0;
    /// UTF-8; false when the port cannot be asked.
    virtual bool GetPortName(uint32_t port, HeapString& out) = 0;
    /// Opens `port` under our own port name `clientPortName`; false when it did not open.
    virtual bool OpenPort(uint32_t port, const char* clientPortName) = 0;
    virtual void ClosePort() = 0;
};

/// The input direction: messages arrive through the callback, on the layer's own thread.
class IMidiInput : public IMidiPorts
{
public:
    virtual void SetCallback(MidiInputFunc func, void* user) = 0;
    /// Returns once the callback can no longer run.
    virtual void CancelCallback() = 0;
    /// Which message kinds the layer drops before the callback.
    virtual void IgnoreTypes(bool sysEx, bool timing, bool activeSensing) = 0;
};

/// The output direction.
class IMidiOutput : public IMidiPorts
{
public:
    /// Sends one message of `size` bytes through the open port; false when nothing was sent.
    virtual bool SendBytes(const uint8_t* bytes, size_t size) = 0;
};

/// The names a MIDI device choice offers, in one direction: "off" first, then the ports in the
/// layer's order, so position p above 0 is port p - 1. UI thread.
class MidiPortList
{
public:
    static constexpr const char* kOff = "off";

    /// "off" and every port's name; only "off" without a layer.
    void Scan(IMidiPorts* ports);
    int Size() const { return static_cast<int>(mNames.size()); }
    /// "" outside the list.
    const char* GetName(int position) const;

    /// 0 for "off", p for the port at list position p whose name (asked of the layer now) is
    /// `name` byte for byte, -1 when none is.
    static int FindPortIndex(IMidiPorts* ports, const char* name);

private:
    std::vector<HeapString> mNames;
};

} // namespace plugkit::app
