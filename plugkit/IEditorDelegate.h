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

    // [ui-thread] Editor window.
    /// Opens the editor inside `pParent`; returns its native window (null without an editor).
    virtual void* OpenWindow(void* pParent);
    virtual void CloseWindow();
    virtual void OnParentWindowResize(int width, int height);
    virtual void OnUIOpen();
    virtual void OnUIClose();

    // Notifications to the plug-in.
    /// [any-thread] The plug-in's hook: parameter `paramIdx` changed.
    virtual void OnParamChange(int paramIdx);
    /// [any-thread] Calls the one-argument form.
    virtual void OnParamChange(int paramIdx, ParamSource source, int sampleOffset = -1);
    /// [ui-thread]
    virtual void OnParamChangeUI(int paramIdx, ParamSource source = ParamSource::Unknown);
    /// [ui-thread] Every parameter in index order: OnParamChange then OnParamChangeUI.
    virtual void OnParamReset(ParamSource source);
    virtual void OnMidiMsgUI(const MidiMessage& msg);
    virtual void OnSysexMsgUI(const SysExMessage& msg);
    virtual bool OnMessage(int msgTag, int ctrlTag, int dataSize, const void* pData);
    /// [ui-thread] The state changed as a whole: the editor receives every value.
    virtual void OnRestoreState();
    virtual bool OnKeyDown(const canvas::IKeyEvent& key);
    virtual bool OnKeyUp(const canvas::IKeyEvent& key);

    // [ui-thread] Plug-in to editor.
    virtual void SendControlValueFromDelegate(int ctrlTag, double normalizedValue);
    virtual void SendControlMsgFromDelegate(int ctrlTag,
                                            int msgTag,
                                            int dataSize = 0,
                                            const void* pData = nullptr);
    virtual void
    SendArbitraryMsgFromDelegate(int msgTag, int dataSize = 0, const void* pData = nullptr);
    virtual void SendMidiMsgFromDelegate(const MidiMessage& msg);
    virtual void SendSysexMsgFromDelegate(const SysExMessage& msg);
    virtual void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized);

    // [ui-thread] Editor to plug-in and host.
    virtual void InformHostOfAllParams() {}
    virtual void BeginInformHostOfParamChangeFromUI(int) {}
    /// Sets the parameter from `normalizedValue`, then OnParamChangeUI with source UI.
    virtual void SendParameterValueFromUI(int paramIdx, double normalizedValue);
    virtual void EndInformHostOfParamChangeFromUI(int) {}
    /// The editor's view changed size; returns whether the platform window must follow.
    virtual bool EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize);
    virtual void SendMidiMsgFromUI(const MidiMessage&) {}
    virtual void SendSysexMsgFromUI(const SysExMessage&) {}
    virtual void SendArbitraryMsgFromUI(int, int, int, const void*) {}
    virtual void EnqueueMidiMsgFromUI(const MidiMessage&) {}
    virtual void EnqueueSysexMsgFromUI(const SysExMessage&) {}

    /// True when both lie within the limits; otherwise clamps each into them and returns false.
    virtual bool ConstrainEditorResize(int& width, int& height) const;
    /// Appends the editor state; true when it was written.
    virtual bool SerializeEditorState(IStateChunk& chunk) const;
    /// Reads the editor state at `startPos`; returns the position after it, or -1.
    virtual int UnserializeEditorState(const IStateChunk& chunk, int startPos);
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
