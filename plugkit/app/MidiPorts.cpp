#include "plugkit/app/MidiPorts.h"

#include <cstring>

namespace plugkit::app
{

void MidiPortList::Scan(IMidiPorts* ports)
{
    mNames.clear();
    mNames.emplace_back(kOff);
    if (!ports)
        return;
    const uint32_t count = ports->PortCount();
    for (uint32_t port = 0; port < count; ++port)
    {
        HeapString name;
        ports->GetPortName(port, name);
        mNames.push_back(name);
    }
}

const char* MidiPortList::GetName(int position) const
{
    return position >= 0 && position < Size() ? mNames[static_cast<size_t>(position)].Get() : "";
}

int MidiPortList::FindPortIndex(IMidiPorts* ports, const char* name)
{
    if (!name)
        return -1;
    if (std::strcmp(name, kOff) == 0)
        return 0;
    if (!ports)
        return -1;
    const uint32_t count = ports->PortCount();
    for (uint32_t port = 0; port < count; ++port)
    {
        HeapString portName;
        if (ports->GetPortName(port, portName) && std::strcmp(portName.Get(), name) == 0)
            return static_cast<int>(port) + 1;
    }
    return -1;
}

} // namespace plugkit::app
