#include "tests/support/FakeEditorDelegate.h"

#include "plugkit/IParam.h"

namespace lumenfall::test
{

FakeEditorDelegate::FakeEditorDelegate()
    : ICanvasEditorDelegate(kNumParams)
{
    GetParam(kGain)->InitDouble("Gain", 0.0, 0.0, 1.0, 0.001);
    GetParam(kMode)->InitEnum("Mode", 0, {"A", "B", "C", "D", "E"});
    GetParam(kSwitch)->InitBool("Switch", false, "", 0, "", "off", "on");
    GetParam(kTime)->InitDouble("Time", 25.0, 0.0, 100.0, 0.1, "ms");
    GetParam(kSteps)->InitDouble("Steps", 0.0, 0.0, 4.0, 1.0, "", plugkit::IParam::kFlagStepped);
}

void FakeEditorDelegate::BeginInformHostOfParamChangeFromUI(int paramIdx)
{
    mHostEvents.push_back({HostEvent::Begin, paramIdx, 0.0});
    if (paramIdx < 0 || paramIdx >= kNumParams)
    {
        mViolations.push_back("begin for unknown parameter " + std::to_string(paramIdx));
        return;
    }
    if (mOpen[paramIdx]++ > 0)
        mViolations.push_back("nested begin on parameter " + std::to_string(paramIdx));
}

void FakeEditorDelegate::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
    mHostEvents.push_back({HostEvent::Perform, paramIdx, normalizedValue});
    if (paramIdx < 0 || paramIdx >= kNumParams || mOpen[paramIdx] == 0)
        mViolations.push_back("perform outside a gesture on parameter " + std::to_string(paramIdx));
    ICanvasEditorDelegate::SendParameterValueFromUI(paramIdx, normalizedValue);
}

void FakeEditorDelegate::EndInformHostOfParamChangeFromUI(int paramIdx)
{
    mHostEvents.push_back({HostEvent::End, paramIdx, 0.0});
    if (paramIdx < 0 || paramIdx >= kNumParams || mOpen[paramIdx] == 0)
    {
        mViolations.push_back("end without begin on parameter " + std::to_string(paramIdx));
        return;
    }
    --mOpen[paramIdx];
}

bool FakeEditorDelegate::EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize)
{
    mResizeRequests.push_back({viewWidth, viewHeight, needsPlatformResize});
    return mResizeAnswer;
}

void FakeEditorDelegate::LayoutUI(plugkit::canvas::ICanvas* pGraphics)
{
    ++mLayoutCalls;
    ICanvasEditorDelegate::LayoutUI(pGraphics);
}

bool FakeEditorDelegate::GesturesBalanced() const
{
    if (!mViolations.empty())
        return false;
    for (int open : mOpen)
        if (open != 0)
            return false;
    return true;
}

int FakeEditorDelegate::CountOf(HostEvent::Kind kind, int paramIdx) const
{
    int n = 0;
    for (const HostEvent& e : mHostEvents)
        if (e.kind == kind && (paramIdx < 0 || e.paramIdx == paramIdx))
            ++n;
    return n;
}

} // namespace lumenfall::test
