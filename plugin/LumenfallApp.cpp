#include "plugin/Lumenfall.h"

#include "plugkit/Mutex.h"

#include <new>

namespace plugkit
{

IPluginApp* CreateStandalonePlugin(app::StandaloneHost* host)
{
    // Construction is serialised, as in the plug-in module; nothing it throws leaves here.
    static Mutex sCreationLock;
    MutexLock lock(sCreationLock);
    lumenfall::Lumenfall* plugin = nullptr;
    try
    {
        plugin = new (std::nothrow) lumenfall::Lumenfall(host);
    }
    catch (...)
    {
        plugin = nullptr;
    }
    if (plugin && !plugin->IsComplete())
    {
        delete plugin; // built short of memory: the program gets no half plug-in
        plugin = nullptr;
    }
    return plugin;
}

} // namespace plugkit
