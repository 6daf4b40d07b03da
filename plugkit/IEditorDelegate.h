#pragma once

#include "plugkit/IParam.h"
#include "plugkit/MidiMessage.h"
#include "plugkit/ParamSource.h"
#include "plugkit/PointerList.h"

namespace plugkit
{

namespace canvas
{
struct IKeyEvent;
} // namespace canvas

class IStateChunk;

/// The editor's side of a plug-in: owns the parameter list, holds the editor's size limits and
/// carries every notification and message between the plug-in and its editor. Everything here
/// runs on the UI thread; the audio thread reaches the editor only through the API base's queues.
class IEditorDelegate
{
public:
    static constexpr int kDefaultMinSize = 10;
    static constexpr int kDefaultMaxSize = 100000;

    /// Creates `nParams` default-constructed parameters.
    explicit IEditorDelegate(int nParams);
    virtual ~IEditorDelegate();
    IEditorDelegate(const IEditorDelegate&) = delete;
    IEditorDelegate& operator=(const IEditorDelegate&) = delete;

    // ---- Editor window.
    /// [ui-thread] Opens the editor inside `pParent`; returns its native window (null without
    /// an editor). Default: OnUIOpen.
    virtual void* OpenWindow(void* pParent);
    /// [ui-thread] Closes the editor. Default: OnUIClose.
    virtual void CloseWindow();
    /// [ui-thread] The host resized the window that holds the editor.
    virtual void OnParentWindowResize(int width, int height);
    /// [ui-thread] The editor is open. Default: every value to the editor.
    virtual void OnUIOpen();
    /// [ui-thread] The editor is about to close.
    virtual void OnUIClose();

    // ---- Notifications to the plug-in.
    /// [any-thread] The plug-in's hook: parameter `paramIdx` changed.
    virtual void OnParamChange(int paramIdx);
    /// [any-thread] The audio thread for host automation, else the UI thread. Calls the
    /// one-argument form.
    virtual void OnParamChange(int paramIdx, ParamSource source, int sampleOffset = -1);
    /// [ui-thread] Parameter `paramIdx` changed, seen from the editor's side.
    virtual void OnParamChangeUI(int paramIdx, ParamSource source = ParamSource::Unknown);
    /// [ui-thread] Every parameter in index order: OnParamChange then OnParamChangeUI.
    virtual void OnParamReset(ParamSource source);
    /// [ui-thread] A MIDI message reached the editor's side (from the timer's drain).
    virtual void OnMidiMsgUI(const MidiMessage& msg);
    /// [ui-thread] A SysEx message reached the editor's side; its bytes live only during the call.
    virtual void OnSysexMsgUI(const SysExMessage& msg);
    /// [ui-thread] An arbitrary message (control tag -1 for none); true when it was handled.
    virtual bool OnMessage(int msgTag, int ctrlTag, int dataSize, const void* pData);
    /// [ui-thread] The state changed as a whole: the editor receives every value.
    virtual void OnRestoreState();
    /// [ui-thread] A key the host passed on; true when the editor handled it.
    virtual bool OnKeyDown(const canvas::IKeyEvent& key);
    /// [ui-thread] As OnKeyDown, for the release.
    virtual bool OnKeyUp(const canvas::IKeyEvent& key);

    // ---- Plug-in to editor.
    /// [ui-thread] The control tagged `ctrlTag` takes `normalizedValue` as its value 0.
    virtual void SendControlValueFromDelegate(int ctrlTag, double normalizedValue);
    /// [ui-thread] Default: OnMessage with both tags.
    virtual void SendControlMsgFromDelegate(int ctrlTag,
                                            int msgTag,
                                            int dataSize = 0,
                                            const void* pData = nullptr);
    /// [ui-thread] Default: OnMessage with control tag -1.
    virtual void
    SendArbitraryMsgFromDelegate(int msgTag, int dataSize = 0, const void* pData = nullptr);
    /// [ui-thread] Default: OnMidiMsgUI.
    virtual void SendMidiMsgFromDelegate(const MidiMessage& msg);
    /// [ui-thread] Default: OnSysexMsgUI.
    virtual void SendSysexMsgFromDelegate(const SysExMessage& msg);
    /// [ui-thread] A value (real, or normalized when `normalized`) to the editor, then
    /// OnParamChangeUI with source "Editor Delegate".
    virtual void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized);

    // ---- Editor to plug-in and host. The API base and the adapters give the bodies.
    /// [ui-thread] Every parameter's normalized value to the host.
    virtual void InformHostOfAllParams() {}
    /// [ui-thread] A gesture on `paramIdx` begins.
    virtual void BeginInformHostOfParamChangeFromUI(int) {}
    /// [ui-thread] Sets the parameter from `normalizedValue` (non-finite ignored), then
    /// OnParamChangeUI with source UI.
    virtual void SendParameterValueFromUI(int paramIdx, double normalizedValue);
    /// [ui-thread] The gesture on `paramIdx` ends.
    virtual void EndInformHostOfParamChangeFromUI(int) {}
    /// [ui-thread] The editor's view changed size; returns whether the platform window follows.
    virtual bool EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize);
    /// [ui-thread] MIDI from a control, for the processor.
    virtual void SendMidiMsgFromUI(const MidiMessage&) {}
    /// [ui-thread] SysEx from a control, for the processor.
    virtual void SendSysexMsgFromUI(const SysExMessage&) {}
    /// [ui-thread] An arbitrary message from a control (message tag, control tag, size, data).
    virtual void SendArbitraryMsgFromUI(int, int, int, const void*) {}
    /// [ui-thread] Queues MIDI for the processor.
    virtual void EnqueueMidiMsgFromUI(const MidiMessage&) {}
    /// [ui-thread] Queues SysEx for the processor.
    virtual void EnqueueSysexMsgFromUI(const SysExMessage&) {}

    /// [ui-thread] True when both lie within the limits; otherwise clamps each into them and
    /// returns false.
    virtual bool ConstrainEditorResize(int& width, int& height) const;
    /// [ui-thread] Appends the editor state; true when it was written.
    virtual bool SerializeEditorState(IStateChunk& chunk) const;
    /// [ui-thread] Reads the editor state at `startPos`; returns the position after it, or -1.
    virtual int UnserializeEditorState(const IStateChunk& chunk, int startPos);
    /// [ui-thread] The screen's scale (device pixels per logical pixel) changed.
    virtual void SetScreenScale(float) {}

    /// Every parameter's normalized value to the editor, in index order.
    void SendAllParamValuesFromDelegate();

    /// Null when `paramIdx` lies outside the list.
    IParam* GetParam(int paramIdx) const { return mParams.Get(paramIdx); }
    int NParams() const { return mParams.Size(); }

    int GetEditorWidth() const { return mEditorWidth; }
    int GetEditorHeight() const { return mEditorHeight; }
    void SetEditorSize(int width, int height)
    {
        mEditorWidth = width;
        mEditorHeight = height;
    }
    int GetMinWidth() const { return mMinWidth; }
    int GetMaxWidth() const { return mMaxWidth; }
    int GetMinHeight() const { return mMinHeight; }
    int GetMaxHeight() const { return mMaxHeight; }
    /// The limits, each pair taken in either order.
    void SetSizeConstraints(int widthA, int widthB, int heightA, int heightB);

private:
    PointerList<IParam> mParams;
    int mEditorWidth = 0;
    int mEditorHeight = 0;
    int mMinWidth = kDefaultMinSize;
    int mMaxWidth = kDefaultMaxSize;
    int mMinHeight = kDefaultMinSize;
    int mMaxHeight = kDefaultMaxSize;
};

} // namespace plugkit
