#include "tests/support/FakeEditorDelegate.h"
#include "tests/support/RecordingCanvas.h"

#include "plugkit/IParam.h"
#include "plugkit/MidiMessage.h"

#include <gtest/gtest.h>

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::FakeEditorDelegate;
using lumenfall::test::RecordingCanvas;
using lumenfall::test::TestControl;

/// The delegate opening, feeding and closing a real canvas, as a plug-in's editor does.
class EditorDelegateCanvasTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dlg.SetMakeGraphicsFunc([this] { return new RecordingCanvas(dlg, 400, 300, 1.f); });
        dlg.SetLayoutFunc(
            [this](ICanvas* g)
            {
                g->AttachControl(new TestControl({0, 0, 400, 300}, -1, "background"));
                knob = static_cast<TestControl*>(g->AttachControl(
                    new TestControl({10, 10, 60, 60}, FakeEditorDelegate::kTime), 7));
                knob->SetWantsMidi(true);
            });
    }

    RecordingCanvas& Canvas() { return *static_cast<RecordingCanvas*>(dlg.GetUI()); }

    FakeEditorDelegate dlg;
    TestControl* knob = nullptr;
};

TEST_F(EditorDelegateCanvasTest, ValuesMessagesAndKeysReachTheControls)
{
    ASSERT_NE(dlg.OpenWindow(nullptr), nullptr);
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(dlg.LayoutCalls(), 1);

    // A value in real units is normalised by the delegate on its way to every bound value.
    dlg.SendParameterValueFromDelegate(FakeEditorDelegate::kTime, 40.0, false);
    EXPECT_DOUBLE_EQ(knob->GetValue(), 0.4);
    dlg.SendControlValueFromDelegate(7, 0.9);
    EXPECT_DOUBLE_EQ(knob->GetValue(), 0.9);

    dlg.SendControlMsgFromDelegate(7, 3, 12, nullptr);
    EXPECT_EQ(knob->lastMsgTag, 3);
    EXPECT_EQ(knob->lastMsgSize, 12);
    plugkit::MidiMessage msg;
    msg.mStatus = 0x90;
    dlg.SendMidiMsgFromDelegate(msg);
    EXPECT_EQ(knob->midis, 1);
    EXPECT_EQ(knob->lastMidiStatus, 0x90);

    // Keys from the host go to the control under the pointer.
    knob->onKeyDown = [](TestControl&, const IKeyEvent&) { return true; };
    IKeyEvent key;
    key.VK = kVK_SPACE;
    Canvas().SetMouseLocation(20, 20);
    EXPECT_TRUE(dlg.OnKeyDown(key));
    Canvas().SetMouseLocation(200, 200); // the background is not offered keys
    EXPECT_FALSE(dlg.OnKeyDown(key));
    EXPECT_EQ(knob->keys, 1);

    dlg.CloseWindow();
    EXPECT_EQ(dlg.GetUI(), nullptr);
    EXPECT_EQ(dlg.GetRememberedWidth(), 400);
    EXPECT_FALSE(dlg.OnKeyDown(key));
}

TEST_F(EditorDelegateCanvasTest, ClosingInTheMiddleOfADragEndsTheGesture)
{
    dlg.OpenWindow(nullptr);
    IMouseEvent e;
    e.x = 20;
    e.y = 20;
    e.ms.L = true;
    Canvas().OnMouseDown({e});
    e.dY = -5;
    Canvas().OnMouseDrag({e});
    EXPECT_EQ(dlg.OpenGestures(FakeEditorDelegate::kTime), 1);
    dlg.CloseWindow();
    EXPECT_TRUE(dlg.GesturesBalanced());
    EXPECT_EQ(dlg.CountOf(FakeEditorDelegate::HostEvent::Perform, FakeEditorDelegate::kTime), 1);
}

} // namespace
