#pragma once

#include "canvas/ICanvas.h"
#include "plugkit/ICanvasEditorDelegate.h"
#include "plugkit/MidiMessage.h"
#include "tests/support/RecordingCanvas.h"

#include <functional>
#include <string>
#include <vector>

namespace plugkit::test
{

/// An `ICanvas` that records what the editor delegate asks of it, with no window and no drawing
/// (the recording back end answers everything else).
class FakeCanvas : public lumenfall::test::RecordingCanvas
{
public:
    struct Log
    {
        int mCreated = 0;
        int mDeleted = 0;
        std::vector<std::string> mCalls;
    };

    FakeCanvas(canvas::ICanvasEditorDelegate& dlg, Log& log, int width, int height, float scale)
        : RecordingCanvas(dlg, width, height, scale)
        , mLog(log)
        , mWidth(width)
        , mHeight(height)
        , mScale(scale)
    {
        ++mLog.mCreated;
    }
    ~FakeCanvas() override { ++mLog.mDeleted; }

    void* OpenWindow(void* pParent) override
    {
        Record("OpenWindow");
        mParent = pParent;
        return &mNativeWindow;
    }
    void CloseWindow() override
    {
        Record("CloseWindow");
        if (mOnClose)
            mOnClose();
    }
    void Resize(int width, int height, float scale, bool needsPlatformResize) override
    {
        Record("Resize " + std::to_string(width) + "x" + std::to_string(height) + " @" +
               std::to_string(scale) + (needsPlatformResize ? " platform" : ""));
        mWidth = width;
        mHeight = height;
        mScale = scale;
    }
    void SetScreenScale(float scale) override { Record("SetScreenScale " + std::to_string(scale)); }
    float GetPlatformWindowScale() const override { return mWindowScale; }
    int Width() const override { return mWidth; }
    int Height() const override { return mHeight; }
    float GetDrawScale() const override { return mScale; }
    bool GetMouseLocation(float& x, float& y) const override
    {
        x = 12.f;
        y = 34.f;
        return true;
    }
    bool OnKeyDown(float x, float y, const canvas::IKeyEvent& key) override
    {
        mLastKey = &key;
        Record("OnKeyDown " + std::to_string(int(x)) + "," + std::to_string(int(y)));
        return true;
    }
    bool OnKeyUp(float x, float y, const canvas::IKeyEvent& key) override
    {
        mLastKey = &key;
        Record("OnKeyUp " + std::to_string(int(x)) + "," + std::to_string(int(y)));
        return false;
    }
    void SendControlValueFromDelegate(int ctrlTag, double normalizedValue) override
    {
        Record("ControlValue " + std::to_string(ctrlTag) + " " + std::to_string(normalizedValue));
    }
    void SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void*) override
    {
        Record("ControlMsg " + std::to_string(ctrlTag) + " " + std::to_string(msgTag) + " " +
               std::to_string(dataSize));
    }
    void SendMidiMsgFromDelegate(const MidiMessage& msg) override
    {
        Record("Midi " + std::to_string(msg.mStatus));
    }
    void SendParameterValueFromDelegate(int paramIdx, double normalizedValue) override
    {
        Record("ParamValue " + std::to_string(paramIdx) + " " + std::to_string(normalizedValue));
    }

    void* GetWindow() override { return mParent ? &mNativeWindow : nullptr; }

    void Record(const std::string& call) { mLog.mCalls.push_back(call); }

    Log& mLog;
    int mWidth;
    int mHeight;
    float mScale;
    float mWindowScale = 1.f;
    void* mParent = nullptr;
    int mNativeWindow = 0;
    const canvas::IKeyEvent* mLastKey = nullptr;
    std::function<void()> mOnClose;
};

} // namespace plugkit::test
