#pragma once

#include "plugkit/ICanvasEditorDelegate.h"

#include <string>
#include <vector>

namespace lumenfall::test
{

/// A graphics editor delegate with a small parameter table that plays the host: it records
/// every begin, perform and end edit and checks the gesture rules as they happen (no nested
/// begin, no perform or end outside a gesture).
///
/// Parameters: 0 "Gain" (double 0..1, step 0.001), 1 "Mode" (enum of five, "A" .. "E"),
/// 2 "Switch" (bool "off"/"on"), 3 "Time" (double 0..100 ms, step 0.1, default 25),
/// 4 "Steps" (double 0..4, step 1, stepped).
class FakeEditorDelegate : public plugkit::canvas::ICanvasEditorDelegate
{
public:
    enum Param
    {
        kGain = 0,
        kMode,
        kSwitch,
        kTime,
        kSteps,
        kNumParams
    };

    struct HostEvent
    {
        enum Kind
        {
            Begin,
            Perform,
            End,
            kNumKinds
        };
        Kind kind;
        int paramIdx;
        double value;
    };

    FakeEditorDelegate();

    void BeginInformHostOfParamChangeFromUI(int paramIdx) override;
    void SendParameterValueFromUI(int paramIdx, double normalizedValue) override;
    void EndInformHostOfParamChangeFromUI(int paramIdx) override;
    bool EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize) override;
    void LayoutUI(plugkit::canvas::ICanvas* pGraphics) override;

    /// Everything the host was told, in order.
    const std::vector<HostEvent>& HostEvents() const { return mHostEvents; }
    /// Broken gesture rules, as readable lines; empty when all was well.
    const std::vector<std::string>& Violations() const { return mViolations; }
    /// No violation and no gesture left open.
    bool GesturesBalanced() const;
    int OpenGestures(int paramIdx) const { return mOpen[paramIdx]; }
    int CountOf(HostEvent::Kind kind, int paramIdx = -1) const;
    void ClearHostEvents() { mHostEvents.clear(); }

    struct ResizeRequest
    {
        int width;
        int height;
        bool needsPlatformResize;
    };
    const std::vector<ResizeRequest>& ResizeRequests() const { return mResizeRequests; }
    /// What `EditorResizeFromUI` answers.
    void SetResizeAnswer(bool answer) { mResizeAnswer = answer; }
    int LayoutCalls() const { return mLayoutCalls; }

private:
    std::vector<HostEvent> mHostEvents;
    std::vector<std::string> mViolations;
    int mOpen[kNumParams] = {};
    std::vector<ResizeRequest> mResizeRequests;
    bool mResizeAnswer = true;
    int mLayoutCalls = 0;
};

} // namespace lumenfall::test
