#pragma once

namespace plugkit
{
struct MidiMessage;
} // namespace plugkit

namespace plugkit::canvas
{

struct IKeyEvent;
class ICanvasEditorDelegate;

/// The toolkit's editor object, one per open editor window. The framework's graphics editor
/// delegate reaches the toolkit only through these operations.
class ICanvas
{
public:
    virtual ~ICanvas() = default;

    /// Opens the native window inside `pParent`; returns the native window, null on failure.
    virtual void* OpenWindow(void* pParent) = 0;
    /// Closes the native window; the object stays until it is deleted.
    virtual void CloseWindow() = 0;

    /// Sets the editor size in editor units and the draw scale; asks the platform window to
    /// follow when `needsPlatformResize` is set.
    virtual void Resize(int width, int height, float scale, bool needsPlatformResize = true) = 0;
    /// Device pixels per logical pixel of the display the window is on.
    virtual void SetScreenScale(float scale) = 0;
    /// Factor from editor pixels to the native window's size (1.0 when the platform has none).
    virtual float GetPlatformWindowScale() const = 0;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual float GetDrawScale() const = 0;

    /// Pointer position in editor units; false when the platform could not tell.
    virtual bool GetMouseLocation(float& x, float& y) const = 0;

    /// Offers a key at editor position (x, y) to the control under it; true when handled.
    virtual bool OnKeyDown(float x, float y, const IKeyEvent& key) = 0;
    virtual bool OnKeyUp(float x, float y, const IKeyEvent& key) = 0;

    // Values and messages from the plug-in to the controls (the delegate's forwarding).

    /// The control with `ctrlTag`, when attached, takes `normalizedValue` as its value 0.
    virtual void SendControlValueFromDelegate(int ctrlTag, double normalizedValue) = 0;
    /// The control with `ctrlTag`, when attached, receives the message.
    virtual void
    SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* pData) = 0;
    /// Every control that wants MIDI receives the message.
    virtual void SendMidiMsgFromDelegate(const MidiMessage& msg) = 0;
    /// Every control value bound to parameter `paramIdx` takes `normalizedValue`.
    virtual void SendParameterValueFromDelegate(int paramIdx, double normalizedValue) = 0;
};

} // namespace plugkit::canvas
