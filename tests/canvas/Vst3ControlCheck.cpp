// Built only against the plug-in module's variant of the toolkit (PLUGKIT_VST3).
#include "tests/canvas/FakeEditorDelegate.h"
#include "tests/canvas/RecordingCanvas.h"

#include <gtest/gtest.h>

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::TestControl;

static_assert(std::is_base_of_v<Steinberg::Vst::IContextMenuTarget, IControl>);
static_assert(std::is_base_of_v<Steinberg::FObject, IControl>);

TEST(Vst3Control, IsAReferenceCountedContextMenuTarget)
{
    auto* control = new TestControl({0, 0, 10, 10});
    EXPECT_STREQ(control->isA(), "IControl");
    EXPECT_TRUE(control->isTypeOf("FObject", true));
    EXPECT_FALSE(control->isTypeOf("FObject", false));

    void* target = nullptr;
    ASSERT_EQ(control->queryInterface(Steinberg::Vst::IContextMenuTarget::iid, &target),
              Steinberg::kResultOk);
    ASSERT_NE(target, nullptr);
    auto* menuTarget = static_cast<Steinberg::Vst::IContextMenuTarget*>(target);
    // The host picks item 3 of those the control added to its menu.
    EXPECT_EQ(menuTarget->executeMenuItem(3), Steinberg::kResultOk);
    EXPECT_EQ(control->lastContextChoice, 3);
    EXPECT_EQ(menuTarget->release(), 1u); // back to the reference the canvas will own

    lumenfall::test::FakeEditorDelegate dlg;
    lumenfall::test::RecordingCanvas g(dlg);
    g.AttachControl(control);
    control->addRef(); // a host still holding the target when the editor closes
    g.RemoveAllControls();
    EXPECT_EQ(control->lastContextChoice, 3); // still alive for the host
    EXPECT_EQ(control->release(), 0u);
}

} // namespace
