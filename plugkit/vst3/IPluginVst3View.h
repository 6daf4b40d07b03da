#pragma once

#include "plugkit/HostApp.h"
#include "plugkit/vst3/Vst3KeyEvent.h"
#include "plugkit/vst3/Vst3Sdk.h"

#include "public.sdk/source/common/pluginview.h"

#include <cmath>
#include <cstring>

namespace plugkit
{

/// The host's view of the plug-in's editor. Forwards attaching, removal, sizing, content scale
/// and keys to the plug-in's graphics editor delegate, which opens and closes the editor
/// window. Holds one reference to the plug-in for its whole life.
///
/// The host may call removed, attached and the size calls in any order: attaching an attached
/// view first removes it, removing a view that is not attached does nothing, and releasing an
/// attached view closes its editor. Only the view that opened the editor closes it. All calls
/// come on the host's UI thread.
template <class Plug>
class IPluginVst3View : public Steinberg::CPluginView,
                        public Steinberg::IPlugViewContentScaleSupport
{
public:
    explicit IPluginVst3View(Plug& plugin)
        : mPlugin(&plugin)
    {
        mPlugin->addRef();
    }

    ~IPluginVst3View() override
    {
        if (isAttached())
            removed();
        mPlugin->ForgetView(this);
        mPlugin->release();
    }

    /// [ui-thread] The host's frame, set through setFrame (null until then).
    Steinberg::IPlugFrame* GetFrame() const { return plugFrame; }

    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override
    {
        return mPlugin->HasUI() && IsHwnd(type) ? Steinberg::kResultTrue : Steinberg::kResultFalse;
    }

    /// kResultFalse without an editor, for another platform type, and when the editor window
    /// could not be opened (the view then stays detached).
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override
    {
        if (!mPlugin->HasUI() || !IsHwnd(type) || parent == nullptr)
            return Steinberg::kResultFalse;
        if (isAttached())
            removed();
        mPlugin->ClaimEditor(this);
        if (mPlugin->OpenWindow(parent) == nullptr)
        {
            mPlugin->CloseWindow(); // nothing half-open stays behind
            mPlugin->ReleaseEditor(this);
            return Steinberg::kResultFalse;
        }
        return CPluginView::attached(parent, type);
    }

    Steinberg::tresult PLUGIN_API removed() override
    {
        if (!isAttached())
            return Steinberg::kResultOk;
        if (mPlugin->HasUI() && mPlugin->ReleaseEditor(this))
            mPlugin->CloseWindow();
        return CPluginView::removed();
    }

    Steinberg::tresult PLUGIN_API onWheel(float) override { return Steinberg::kResultFalse; }
    Steinberg::tresult PLUGIN_API onFocus(Steinberg::TBool) override
    {
        return Steinberg::kResultFalse;
    }

    Steinberg::tresult PLUGIN_API onKeyDown(Steinberg::char16 key,
                                            Steinberg::int16 keyCode,
                                            Steinberg::int16 modifiers) override
    {
        return ForwardKey(key, keyCode, modifiers, true);
    }

    Steinberg::tresult PLUGIN_API onKeyUp(Steinberg::char16 key,
                                          Steinberg::int16 keyCode,
                                          Steinberg::int16 modifiers) override
    {
        return ForwardKey(key, keyCode, modifiers, false);
    }

    Steinberg::tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override
    {
        if (!mPlugin->HasUI() || size == nullptr)
            return Steinberg::kResultFalse;
        *size = Steinberg::ViewRect(0, 0, mPlugin->GetEditorWidth(), mPlugin->GetEditorHeight());
        return Steinberg::kResultOk;
    }

    Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override
    {
        if (newSize == nullptr || !mPlugin->HasUI() || !mPlugin->GetHostResizeEnabled())
            return Steinberg::kResultFalse;
        rect = *newSize;
        if (isAttached() && mPlugin->OwnsEditor(this))
            mPlugin->OnParentWindowResize(newSize->getWidth(), newSize->getHeight());
        return Steinberg::kResultOk;
    }

    Steinberg::tresult PLUGIN_API canResize() override
    {
        return mPlugin->HasUI() && mPlugin->GetHostResizeEnabled() ? Steinberg::kResultTrue
                                                                   : Steinberg::kResultFalse;
    }

    /// Clamps the rectangle's size to the editor's limits from its top-left corner.
    Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* r) override
    {
        if (r == nullptr)
            return Steinberg::kInvalidArgument;
        int width = r->getWidth();
        int height = r->getHeight();
        if (!mPlugin->ConstrainEditorResize(width, height))
        {
            r->right = r->left + width;
            r->bottom = r->top + height;
        }
        return Steinberg::kResultOk;
    }

    /// A scale that is not a positive number is not applied.
    Steinberg::tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override
    {
        if (std::isfinite(factor) && factor > 0.f && mPlugin->OwnsEditor(this))
            mPlugin->SetScreenScale(factor);
        return Steinberg::kResultOk;
    }

    OBJ_METHODS(IPluginVst3View, CPluginView)
    DEFINE_INTERFACES
    DEF_INTERFACE(IPlugViewContentScaleSupport)
    DEF_INTERFACE(IPlugView)
    END_DEFINE_INTERFACES(CPluginView)
    REFCOUNT_METHODS(CPluginView)

private:
    static bool IsHwnd(Steinberg::FIDString type)
    {
        return type != nullptr && std::strcmp(type, Steinberg::kPlatformTypeHWND) == 0;
    }

    Steinberg::tresult ForwardKey(Steinberg::char16 key,
                                  Steinberg::int16 keyCode,
                                  Steinberg::int16 modifiers,
                                  bool down)
    {
        if (!isAttached() || !mPlugin->OwnsEditor(this))
            return Steinberg::kResultFalse;
        // Reaper hands every key to the plug-in first; only space is the editor's there.
        if (mPlugin->GetHost() == kHostReaper && keyCode != kVst3SpaceKeyCode)
            return Steinberg::kResultFalse;
        const canvas::IKeyEvent event =
            Vst3KeyToKeyEvent(static_cast<char16_t>(key), keyCode, modifiers, &ScanKeyOfCharacter);
        const bool handled = down ? mPlugin->OnKeyDown(event) : mPlugin->OnKeyUp(event);
        return handled ? Steinberg::kResultTrue : Steinberg::kResultFalse;
    }

    Plug* mPlugin;
};

} // namespace plugkit
