#include "plugkit/ICanvasEditorDelegate.h"
#include "plugkit/IStateChunk.h"

#include "tests/support/FakeCanvas.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace plugkit;
using plugkit::test::FakeCanvas;

namespace
{

/// A delegate that records the notifications it receives.
class RecordingDelegate : public canvas::ICanvasEditorDelegate
{
public:
    explicit RecordingDelegate(int nParams)
        : ICanvasEditorDelegate(nParams)
    {
    }

    void OnUIClose() override { mEvents.push_back("OnUIClose"); }
    void OnParamChange(int idx) override { mEvents.push_back("change " + std::to_string(idx)); }
    void OnParamChangeUI(int idx, ParamSource source) override
    {
        mEvents.push_back("ui " + std::to_string(idx) + " " + ParamSourceName(source));
    }
    void OnMidiMsgUI(const MidiMessage&) override { mEvents.push_back("OnMidiMsgUI"); }
    bool OnMessage(int msgTag, int ctrlTag, int, const void*) override
    {
        mEvents.push_back("msg " + std::to_string(msgTag) + " " + std::to_string(ctrlTag));
        return true;
    }

    std::vector<std::string> mEvents;
};

class EditorDelegateTest : public ::testing::Test
{
protected:
    EditorDelegateTest()
        : mDelegate(2)
    {
        mDelegate.GetParam(0)->InitDouble("Gain", 0.0, -60.0, 0.0, 0.01);
        mDelegate.GetParam(1)->InitDouble("Mix", 50.0, 0.0, 100.0, 0.01);
        mDelegate.SetMakeGraphicsFunc(
            [this]
            {
                mCanvas = new FakeCanvas(mDelegate, mLog, 1100, 760, 1.f);
                return mCanvas;
            });
    }

    std::vector<std::string>& Calls() { return mLog.mCalls; }

    FakeCanvas::Log mLog;
    FakeCanvas* mCanvas = nullptr;
    RecordingDelegate mDelegate;
};

TEST_F(EditorDelegateTest, ReopeningRestoresTheLastSizeAndScale)
{
    int parent = 0;
    void* window = mDelegate.OpenWindow(&parent);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window, &mCanvas->mNativeWindow);
    EXPECT_EQ(mCanvas->mParent, &parent);
    EXPECT_EQ(Calls(), std::vector<std::string>{"OpenWindow"}); // nothing remembered yet
    EXPECT_EQ(mDelegate.GetUI(), mCanvas);

    mCanvas->Resize(800, 600, 1.25f, false);
    mDelegate.CloseWindow();
    EXPECT_EQ(mLog.mDeleted, 1);
    EXPECT_EQ(mDelegate.GetUI(), nullptr);
    EXPECT_EQ(mDelegate.GetRememberedWidth(), 800);
    EXPECT_EQ(mDelegate.GetRememberedHeight(), 600);
    EXPECT_FLOAT_EQ(mDelegate.GetRememberedScale(), 1.25f);
    EXPECT_EQ(mDelegate.mEvents, std::vector<std::string>{"OnUIClose"});

    Calls().clear();
    mDelegate.OpenWindow(&parent);
    EXPECT_EQ(mLog.mCreated, 2); // a fresh graphics object
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"Resize 800x600 @1.250000 platform", "OpenWindow"}));
    EXPECT_EQ(mCanvas->Width(), 800);
}

TEST_F(EditorDelegateTest, OpenWithoutFactoryReturnsNullAndCloseIsHarmless)
{
    RecordingDelegate bare(0);
    EXPECT_EQ(bare.OpenWindow(nullptr), nullptr);
    bare.CloseWindow();
    EXPECT_EQ(bare.mEvents, std::vector<std::string>{"OnUIClose"});
}

TEST_F(EditorDelegateTest, CloseDuringCloseIsIgnored)
{
    mDelegate.OpenWindow(nullptr);
    mCanvas->mOnClose = [this] { mDelegate.CloseWindow(); }; // the window closes itself too
    mDelegate.CloseWindow();
    EXPECT_EQ(mLog.mDeleted, 1);
    EXPECT_EQ(mDelegate.mEvents, std::vector<std::string>{"OnUIClose"});
}

TEST_F(EditorDelegateTest, DestructionDeletesAnOpenEditor)
{
    {
        RecordingDelegate d(1);
        d.SetMakeGraphicsFunc([&] { return new FakeCanvas(d, mLog, 10, 10, 1.f); });
        d.OpenWindow(nullptr);
    }
    EXPECT_EQ(mLog.mCreated, 1);
    EXPECT_EQ(mLog.mDeleted, 1);
}

TEST_F(EditorDelegateTest, ForwardingIsANoOpWhileClosedButValuesStillReachThePlugin)
{
    mDelegate.SendControlValueFromDelegate(3, 0.5);
    mDelegate.SendControlMsgFromDelegate(3, 7, 0, nullptr);
    mDelegate.SendParameterValueFromDelegate(1, 25.0, false);
    mDelegate.SetScreenScale(2.f);
    mDelegate.OnParentWindowResize(100, 100);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(mDelegate.mEvents, std::vector<std::string>{"ui 1 Editor Delegate"});

    mDelegate.mEvents.clear();
    mDelegate.SendMidiMsgFromDelegate(MidiMessage{0, 0x90, 60, 100});
    EXPECT_EQ(mDelegate.mEvents, std::vector<std::string>{"OnMidiMsgUI"});
}

TEST_F(EditorDelegateTest, ForwardingReachesTheOpenCanvas)
{
    mDelegate.OpenWindow(nullptr);
    Calls().clear();
    mDelegate.SendControlValueFromDelegate(3, 0.5);
    mDelegate.SendControlMsgFromDelegate(3, 7, 4, "abcd");
    mDelegate.SendMidiMsgFromDelegate(MidiMessage{0, 0x90, 60, 100});
    mDelegate.SendParameterValueFromDelegate(1, 25.0, false); // real value, normalized first
    mDelegate.SendParameterValueFromDelegate(0, 0.5, true);
    mDelegate.SendParameterValueFromDelegate(0, std::numeric_limits<double>::quiet_NaN(), true);
    mDelegate.SetScreenScale(2.f);
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"ControlValue 3 0.500000",
                                        "ControlMsg 3 7 4",
                                        "Midi 144",
                                        "ParamValue 1 0.250000",
                                        "ParamValue 0 0.500000",
                                        "SetScreenScale 2.000000"}));
    // The NaN reached no control, only the plug-in.
    EXPECT_EQ(mDelegate.mEvents,
              (std::vector<std::string>{"OnMidiMsgUI",
                                        "ui 1 Editor Delegate",
                                        "ui 0 Editor Delegate",
                                        "ui 0 Editor Delegate"}));
}

TEST_F(EditorDelegateTest, KeysGoToTheCanvasAtTheMousePosition)
{
    const canvas::IKeyEvent key{};
    EXPECT_FALSE(mDelegate.OnKeyDown(key)); // closed
    mDelegate.OpenWindow(nullptr);
    Calls().clear();
    EXPECT_TRUE(mDelegate.OnKeyDown(key));
    EXPECT_FALSE(mDelegate.OnKeyUp(key));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"OnKeyDown 12,34", "OnKeyUp 12,34"}));
    EXPECT_EQ(mCanvas->mLastKey, &key);
}

TEST_F(EditorDelegateTest, ParentResizeUsesThePlatformWindowScale)
{
    mDelegate.OpenWindow(nullptr);
    Calls().clear();
    mCanvas->mWindowScale = 2.f;
    mDelegate.OnParentWindowResize(1000, 700);
    mCanvas->mWindowScale = 0.f; // a broken scale is not divided by
    mDelegate.OnParentWindowResize(1000, 700);
    EXPECT_EQ(Calls(), std::vector<std::string>{"Resize 500x350 @1.000000"});
}

TEST_F(EditorDelegateTest, EditorStateRoundTripsAndAShortStateKeepsTheScaleUnapplied)
{
    mDelegate.OpenWindow(nullptr);
    mCanvas->Resize(900, 650, 1.5f, false);
    IStateChunk chunk;
    ASSERT_TRUE(mDelegate.SerializeEditorState(chunk));
    EXPECT_EQ(chunk.Size(), 12);
    mDelegate.CloseWindow();

    RecordingDelegate other(0);
    other.SetMakeGraphicsFunc([&]
                              { return mCanvas = new FakeCanvas(other, mLog, 1100, 760, 1.f); });
    EXPECT_EQ(other.UnserializeEditorState(chunk, 0), 12);
    IStateChunk again;
    other.SerializeEditorState(again); // closed: the remembered values
    EXPECT_EQ(std::memcmp(again.GetData(), chunk.GetData(), 12), 0);

    // 11 bytes: width and height read, the scale does not; the position is -1.
    IStateChunk shortChunk;
    shortChunk.PutBytes(chunk.GetData(), 11);
    RecordingDelegate third(0);
    third.SetMakeGraphicsFunc([&]
                              { return mCanvas = new FakeCanvas(third, mLog, 1100, 760, 1.f); });
    EXPECT_EQ(third.UnserializeEditorState(shortChunk, 0), -1);
    EXPECT_EQ(third.GetRememberedWidth(), 900);
    EXPECT_EQ(third.GetRememberedScale(), 0.f);
    Calls().clear();
    third.OpenWindow(nullptr);
    EXPECT_EQ(Calls(), std::vector<std::string>{"OpenWindow"}); // no resize to a 0 scale

    // Open: a complete state resizes the editor at once.
    Calls().clear();
    EXPECT_EQ(third.UnserializeEditorState(chunk, 0), 12);
    EXPECT_EQ(Calls(), std::vector<std::string>{"Resize 900x650 @1.500000 platform"});
}

TEST_F(EditorDelegateTest, EditorStateWithANegativeSizeOrBrokenScaleIsNotApplied)
{
    struct Case
    {
        int32_t width, height;
        float scale;
    };
    const Case cases[] = {
        {-900, 650, 1.5f},
        {900, -1, 1.5f},
        {900, 650, -2.f},
        {900, 650, std::numeric_limits<float>::quiet_NaN()},
        {900, 650, std::numeric_limits<float>::infinity()},
    };
    mDelegate.OpenWindow(nullptr);
    for (const Case& c : cases)
    {
        IStateChunk chunk;
        chunk.PutInt32(c.width);
        chunk.PutInt32(c.height);
        chunk.PutFloat(c.scale);
        Calls().clear();
        EXPECT_EQ(mDelegate.UnserializeEditorState(chunk, 0), 12);
        EXPECT_TRUE(Calls().empty()) << c.width << "x" << c.height << " @" << c.scale;

        RecordingDelegate closed(0); // remembered, then not applied on opening
        closed.SetMakeGraphicsFunc([&] { return new FakeCanvas(closed, mLog, 1100, 760, 1.f); });
        closed.UnserializeEditorState(chunk, 0);
        closed.OpenWindow(nullptr);
        EXPECT_EQ(Calls(), std::vector<std::string>{"OpenWindow"});
    }
}

TEST_F(EditorDelegateTest, ConstrainEditorResizeClampsIntoTheLimits)
{
    struct Case
    {
        int w, h;
        bool inside;
        int cw, ch;
    };
    const Case defaults[] = {{5, 50, false, 10, 50}, {10, 100000, true, 10, 100000}};
    for (const Case& c : defaults)
    {
        int w = c.w, h = c.h;
        EXPECT_EQ(mDelegate.ConstrainEditorResize(w, h), c.inside);
        EXPECT_EQ(w, c.cw);
        EXPECT_EQ(h, c.ch);
    }
    mDelegate.SetSizeConstraints(3300, 366, 2280, 253); // swapped pairs still work
    int w = 4000, h = 100;
    EXPECT_FALSE(mDelegate.ConstrainEditorResize(w, h));
    EXPECT_EQ(w, 3300);
    EXPECT_EQ(h, 253);
}

TEST_F(EditorDelegateTest, ResetAndUiEditsNotifyInIndexOrder)
{
    mDelegate.OnParamReset(ParamSource::Preset);
    EXPECT_EQ(mDelegate.mEvents,
              (std::vector<std::string>{"change 0", "ui 0 Preset", "change 1", "ui 1 Preset"}));

    mDelegate.mEvents.clear();
    mDelegate.SendParameterValueFromUI(1, 0.75);
    EXPECT_EQ(mDelegate.GetParam(1)->Value(), 75.0);
    mDelegate.SendParameterValueFromUI(1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(mDelegate.GetParam(1)->Value(), 75.0);
    EXPECT_EQ(mDelegate.mEvents, (std::vector<std::string>{"ui 1 UI", "ui 1 UI"}));

    mDelegate.mEvents.clear();
    mDelegate.SendArbitraryMsgFromDelegate(9);
    mDelegate.IEditorDelegate::SendControlMsgFromDelegate(4, 8);
    EXPECT_EQ(mDelegate.mEvents, (std::vector<std::string>{"msg 9 -1", "msg 8 4"}));
}

} // namespace
