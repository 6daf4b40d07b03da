// The toolkit's host gestures under random input sequences: presses, drags, releases, double
// clicks, wheel turns, keys, menus answered at once or later, typed values, touches,
// resizes with broken scales, lost captures and controls removed mid-gesture, in any order and
// with any coordinates (NaN included). The host must never see a perform outside a gesture,
// an end without a begin or a nested begin; once every pointer is up, every pending menu
// answered and the text field closed, no gesture may be left open.
#include "canvas/ITextEntryControl.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/CanvasTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace lumenfall::test
{
namespace
{

using namespace plugkit::canvas;
using Host = FakeEditorDelegate::HostEvent;

class GestureFuzz : public CanvasFixture
{
protected:
    /// The scripted gesture tests' controls, and a stepped control.
    void AttachControls()
    {
        AttachGestureControls();
        steps = Attach(new TestControl({0, 100, 50, 150}, FakeEditorDelegate::kSteps, "steps"));
        mMenuOwnerAlive = true;
    }

    float Coordinate(float extent)
    {
        switch (mRng.Below(10))
        {
        case 0:
            return std::numeric_limits<float>::quiet_NaN();
        case 1:
            return static_cast<float>(mRng.Uniform(-1e6, 1e6));
        case 2:
        case 3:
        case 4:
        case 5: // where the controls are
            return static_cast<float>(mRng.Uniform(0.0, extent * 0.6));
        default:
            return static_cast<float>(mRng.Uniform(-10.0, extent + 10.0));
        }
    }

    IMouseModifiers Buttons()
    {
        IMouseModifiers mod = Left();
        if (mRng.OneIn(4))
            mod = Right();
        mod.S = mRng.OneIn(5);
        mod.C = mRng.OneIn(5);
        return mod;
    }

    /// A touch or mouse event list of one or two pointers.
    std::vector<IMouseEvent> Pointers(float dX = 0.f, float dY = 0.f)
    {
        std::vector<IMouseEvent> events = At(Coordinate(400), Coordinate(300), Buttons(), dX, dY);
        if (mRng.OneIn(5))
        {
            events[0].ms.touchID = mRng.Range(1, 3);
            IMouseEvent second = At(Coordinate(400), Coordinate(300), Left(), dX, dY)[0];
            second.ms.touchID = events[0].ms.touchID + 1;
            events.push_back(second);
        }
        return events;
    }

    static IKeyEvent Key(int vk)
    {
        IKeyEvent key;
        key.VK = vk;
        return key;
    }

    void Step()
    {
        switch (mRng.Below(17))
        {
        case 0:
        case 1:
            g.OnMouseDown(Pointers());
            break;
        case 2:
        case 3:
        case 4:
        {
            const float d = static_cast<float>(mRng.OneIn(10) ? mRng.NastyDouble() * 1e3
                                                              : mRng.Uniform(-30.0, 30.0));
            g.OnMouseDrag(Pointers(mRng.OneIn(2) ? d : 0.f, d));
            break;
        }
        case 5:
        case 6:
            g.OnMouseUp(Pointers());
            break;
        case 7:
            g.OnMouseDblClick(Coordinate(400), Coordinate(300), Buttons());
            break;
        case 8:
            g.OnMouseWheel(
                Coordinate(400),
                Coordinate(300),
                Buttons(),
                static_cast<float>(mRng.OneIn(8) ? mRng.NastyDouble() : mRng.Uniform(-3.0, 3.0)));
            break;
        case 9:
        {
            static constexpr int kKeys[] = {
                kVK_UP, kVK_DOWN, kVK_LEFT, 'M', kVK_RETURN, kVK_ESCAPE};
            g.OnKeyDown(Coordinate(400), Coordinate(300), Key(kKeys[mRng.Below(6)]));
            break;
        }
        case 10:
            g.SetMenuChoice(mRng.Range(-1, 5), mRng.OneIn(2));
            break;
        case 11: // a menu answered later
            if (IPopupMenu* menu = g.LastMenu(); menu && mMenuOwnerAlive)
            {
                menu->SetChosenItemIdx(mRng.Range(-1, 5));
                g.DeliverPopupMenuResult(mRng.OneIn(4) ? nullptr : menu);
            }
            break;
        case 12:
        {
            static constexpr float kScales[] = {1.f, 1.5f, 2.f, 0.f, -1.f, NAN, INFINITY, 1e-30f};
            g.Resize(mRng.Range(-10, 900), mRng.Range(-10, 700), kScales[mRng.Below(8)]);
            break;
        }
        case 13:
            g.ReleaseMouseCapture();
            break;
        case 14:
            if (mRng.OneIn(4))
            {
                g.RemoveAllControls();
                mMenuOwnerAlive = false;
                AttachControls();
                mMenuOwnerAlive = false; // the last menu belonged to a deleted control
            }
            break;
        case 15: // a typed value, committed or abandoned
            if (mRng.OneIn(2))
            {
                g.AttachTextEntryControl();
                time->PromptUserInput(0);
                if (ITextEntryControl* field = g.GetTextEntryControl())
                {
                    field->SetEditText(RandomText(mRng, "0123456789.-e ", 8).c_str());
                    field->OnKeyDown(0, 0, Key(mRng.OneIn(4) ? kVK_ESCAPE : kVK_RETURN));
                }
            }
            break;
        default:
            if (mRng.OneIn(2))
                g.OnMouseOver(Coordinate(400), Coordinate(300), Buttons());
            else
                g.OnMouseOut();
            break;
        }
    }

    /// Every pointer up, pending menus answered, the capture gone.
    void Settle()
    {
        IMouseModifiers none;
        g.OnMouseUp(At(0, 0, none));
        for (int id = 1; id <= 4; ++id)
        {
            IMouseEvent e = At(0, 0, none)[0];
            e.ms.touchID = id;
            g.OnMouseUp({e});
        }
        if (IPopupMenu* menu = g.LastMenu(); menu && mMenuOwnerAlive)
        {
            menu->SetChosenItemIdx(-1);
            g.DeliverPopupMenuResult(nullptr);
        }
        g.ReleaseMouseCapture();
    }

    FuzzRng mRng{0x6E570001};
    TestControl* steps = nullptr;
    bool mMenuOwnerAlive = false;
};

TEST_F(GestureFuzz, RandomInputKeepsEveryEditInsideABalancedGesture)
{
    AttachControls();
    int performs = 0;
    int menus = 0;
    for (int sequence = 0; sequence < 1500; ++sequence)
    {
        const int steps = mRng.Range(1, 30);
        for (int step = 0; step < steps; ++step)
        {
            Step();
            ASSERT_TRUE(dlg.Violations().empty())
                << "sequence " << sequence << " step " << step << ": "
                << ::testing::PrintToString(dlg.Violations());
        }
        Settle();
        ASSERT_TRUE(dlg.Violations().empty())
            << "sequence " << sequence << ": " << ::testing::PrintToString(dlg.Violations());
        for (int p = 0; p < FakeEditorDelegate::kNumParams; ++p)
        {
            ASSERT_EQ(g.GetOpenGestureCount(p), 0) << "sequence " << sequence << " param " << p;
            ASSERT_EQ(dlg.OpenGestures(p), 0) << "sequence " << sequence << " param " << p;
        }
        performs += dlg.CountOf(Host::Perform);
        menus += g.LastMenu() != nullptr ? 1 : 0;
        dlg.ClearHostEvents();
    }
    // The sequences reached the host and opened menus, or they tested nothing.
    EXPECT_GT(performs, 300);
    EXPECT_GT(menus, 100);
}

} // namespace
} // namespace lumenfall::test
