#pragma once

#include "plugkit/IEditorDelegate.h"

#include <functional>

namespace plugkit::canvas
{

class ICanvas;

/// Makes a new graphics object for each opening of the editor (the delegate owns it).
using ICanvasFactoryFunc = std::function<ICanvas*()>;
/// Attaches the editor's controls to a new graphics object.
using ICanvasLayoutFunc = std::function<void(ICanvas*)>;

/// The graphics editor delegate: owns the editor's `ICanvas` while the editor is open, creates
/// it through the make-graphics callback, and remembers its size and draw scale while it is
/// closed. Every forwarding operation is a no-op while closed, except that parameter values
/// still reach `OnParamChangeUI`. UI thread only.
class ICanvasEditorDelegate : public IEditorDelegate
{
public:
    explicit ICanvasEditorDelegate(int nParams);
    ~ICanvasEditorDelegate() override;

    /// [ui-thread] Creates the graphics when there is none (resized to the remembered size and
    /// scale when all are non-zero) and opens it in `pParent`.
    void* OpenWindow(void* pParent) override;
    /// [ui-thread] Remembers the size and scale, closes and deletes the graphics; a close
    /// while one runs is ignored.
    void CloseWindow() override;
    /// [ui-thread] Resizes to (width, height) / the platform window scale, at scale 1.
    void OnParentWindowResize(int width, int height) override;
    /// [ui-thread] The key to the graphics at the mouse position; false while closed.
    bool OnKeyDown(const IKeyEvent& key) override;
    /// [ui-thread] As OnKeyDown.
    bool OnKeyUp(const IKeyEvent& key) override;
    /// [ui-thread]
    void SendControlValueFromDelegate(int ctrlTag, double normalizedValue) override;
    /// [ui-thread]
    void SendControlMsgFromDelegate(int ctrlTag,
                                    int msgTag,
                                    int dataSize = 0,
                                    const void* pData = nullptr) override;
    /// [ui-thread] To every control that wants MIDI, then OnMidiMsgUI.
    void SendMidiMsgFromDelegate(const MidiMessage& msg) override;
    /// [ui-thread] Finite values to the bound controls (normalized first), then, open or
    /// closed, OnParamChangeUI with source "Editor Delegate".
    void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override;
    /// [ui-thread] Width and height (int32) and draw scale (float) of the open editor, else the
    /// remembered ones; true when all three were written.
    bool SerializeEditorState(IStateChunk& chunk) const override;
    /// [ui-thread] Reads what `SerializeEditorState` wrote; a size or scale of 0 (or below) is
    /// not applied.
    int UnserializeEditorState(const IStateChunk& chunk, int startPos) override;
    /// [ui-thread]
    void SetScreenScale(float scale) override;

    /// [ui-thread] The make-graphics callback's result; null when no callback is set.
    virtual ICanvas* CreateGraphics();
    /// [ui-thread] Runs the layout callback on `pGraphics`.
    virtual void LayoutUI(ICanvas* pGraphics);

    void SetMakeGraphicsFunc(ICanvasFactoryFunc func) { mMakeGraphicsFunc = std::move(func); }
    void SetLayoutFunc(ICanvasLayoutFunc func) { mLayoutFunc = std::move(func); }

    /// The open graphics object; null while the editor is closed.
    ICanvas* GetUI() const { return mGraphics; }

    /// What the next opening will restore (0 until the first close or restored state).
    int GetRememberedWidth() const { return mLastWidth; }
    int GetRememberedHeight() const { return mLastHeight; }
    float GetRememberedScale() const { return mLastScale; }

private:
    ICanvasFactoryFunc mMakeGraphicsFunc;
    ICanvasLayoutFunc mLayoutFunc;
    ICanvas* mGraphics = nullptr;
    int mLastWidth = 0;
    int mLastHeight = 0;
    float mLastScale = 0.f;
    bool mClosing = false;
};

} // namespace plugkit::canvas

namespace plugkit
{
using canvas::ICanvasEditorDelegate;
} // namespace plugkit
