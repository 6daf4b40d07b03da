#include "plugin/Lumenfall.h"

#include "plugkit/Mutex.h"

#if defined(_WIN32)
#include "canvas/platform/window/ICanvasWin.h"
#include "plugin/editor/EditorLayout.h"
#endif

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
#if defined(_WIN32)
    // Each opening of the editor in the main window gets a new editor window of its own.
    if (plugin)
    {
        plugin->SetMakeGraphicsFunc(
            [plugin]() -> canvas::ICanvas*
            {
                return new (std::nothrow)
                    canvas::platform::ICanvasWin(*plugin,
                                                 plugin->GetEditorWidth(),
                                                 plugin->GetEditorHeight(),
                                                 lumenfall::editor::kEditorFrameRate,
                                                 1.f,
                                                 lumenfall::editor::kPresentModeVariable);
            });
    }
#endif
    return plugin;
}

} // namespace plugkit
