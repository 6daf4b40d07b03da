#pragma once

#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "plugin/Lumenfall.h"
#include "plugin/editor/EditorLayout.h"
#include "tests/support/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>

#include <memory>
#include <string>
#include <vector>

namespace lumenfall::test
{

using engine::ParamId;
using plugkit::canvas::IBounds;
using plugkit::canvas::IControl;

/// A recording canvas that logs the editor's shapes whole ("FillRoundRect A R G B L T R B
/// radius", "DrawLine A R G B x1 y1 x2 y2 thickness", ...) and its multi-line texts, instead of
/// the path operations they are made of, so a test reads what a control drew.
class EditorCanvas : public RecordingCanvas
{
public:
    using RecordingCanvas::RecordingCanvas;
    using IArgbColor = plugkit::canvas::IArgbColor;
    using IBlendSpec = plugkit::canvas::IBlendSpec;

    void FillRoundRect(const IArgbColor& c,
                       const IBounds& r,
                       float radius,
                       const IBlendSpec* blend) override
    {
        Shape("FillRoundRect", c, {r.L, r.T, r.R, r.B, radius}, blend);
    }
    void DrawRoundRect(const IArgbColor& c,
                       const IBounds& r,
                       float radius,
                       const IBlendSpec* blend,
                       float thickness) override
    {
        Shape("DrawRoundRect", c, {r.L, r.T, r.R, r.B, radius, thickness}, blend);
    }
    void DrawLine(const IArgbColor& c,
                  float x1,
                  float y1,
                  float x2,
                  float y2,
                  const IBlendSpec* blend,
                  float thickness) override
    {
        Shape("DrawLine", c, {x1, y1, x2, y2, thickness}, blend);
    }
    void DrawArc(const IArgbColor& c,
                 float cx,
                 float cy,
                 float r,
                 float a1,
                 float a2,
                 const IBlendSpec* blend,
                 float thickness) override
    {
        Shape("DrawArc", c, {cx, cy, r, a1, a2, thickness}, blend);
    }
    void DrawCircle(const IArgbColor& c,
                    float cx,
                    float cy,
                    float r,
                    const IBlendSpec* blend,
                    float thickness) override
    {
        Shape("DrawCircle", c, {cx, cy, r, thickness}, blend);
    }
    void DrawMultiLineText(const plugkit::canvas::ITextStyle& style,
                           const char* text,
                           const IBounds& r,
                           const IBlendSpec*) override
    {
        Shape(("DrawMultiLineText " + std::string(text)).c_str(),
              style.color,
              {r.L, r.T, r.R, r.B, style.size},
              nullptr);
    }

private:
    void Shape(const char* name,
               const IArgbColor& c,
               std::initializer_list<float> numbers,
               const IBlendSpec* blend)
    {
        std::string line = name;
        char number[32];
        std::snprintf(number, sizeof(number), " %d %d %d %d", c.A, c.R, c.G, c.B);
        line += number;
        for (const float n : numbers)
        {
            std::snprintf(number, sizeof(number), " %g", n);
            line += number;
        }
        if (blend != nullptr && blend->weight != 1.f)
        {
            std::snprintf(number, sizeof(number), " weight %g", blend->weight);
            line += number;
        }
        Record(line);
    }
};

/// A real Lumenfall whose editor is open on an editor canvas at 1100 x 760, scale 1, laid out
/// by the plug-in's own layout callback, with one frame drawn.
class EditorFixture : public testing::Test
{
public:
    void SetUp() override
    {
        plugin->SetMakeGraphicsFunc(
            [this]
            {
                canvas = new EditorCanvas(*plugin, editor::kEditorWidth, editor::kEditorHeight);
                return canvas;
            });
        ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
        plugin->OnUIOpen(); // as the window layer does once open: the controls take the values
        Frame();
    }

    void TearDown() override { plugin->CloseWindow(); }

    /// One display tick: the dirty check, then the dirty areas drawn.
    void Frame()
    {
        plugkit::canvas::DirtyRectList rects;
        if (canvas->IsDirty(rects))
            canvas->DrawDirtyRects(rects);
    }

    /// What `control` draws over its whole bounds (nothing while it is hidden).
    std::vector<std::string> DrawOnly(IControl* control)
    {
        canvas->ClearLog();
        canvas->DrawControl(control, control->GetRECT().GetPadded(1.f), 1.f);
        return canvas->Log();
    }

    /// The lines of `log` that start with `prefix`.
    static std::vector<std::string> Lines(const std::vector<std::string>& log,
                                          const std::string& prefix)
    {
        std::vector<std::string> lines;
        for (const std::string& line : log)
            if (line.compare(0, prefix.size(), prefix) == 0)
                lines.push_back(line);
        return lines;
    }

    /// Whether `log` holds a line that starts with `prefix`.
    static bool Has(const std::vector<std::string>& log, const std::string& prefix)
    {
        return !Lines(log, prefix).empty();
    }

    void Click(float x, float y)
    {
        plugkit::canvas::IMouseEvent e;
        e.x = x;
        e.y = y;
        e.ms.L = true;
        canvas->OnMouseDown({e});
        canvas->OnMouseUp({e});
        Frame();
    }
    void Click(const IBounds& r) { Click(r.MW(), r.MH()); }

    /// Shows page `section` with the page buttons, as a user would.
    void ShowPage(int section)
    {
        if (section == editor::kSectionBasic)
            return Click(editor::kBasicButtonBounds);
        Click(editor::kAdvancedButtonBounds);
        Click(editor::GroupButtonBounds(section - editor::kSectionSpace));
    }

    /// The attached control with exactly these bounds; null when none.
    IControl* ControlAt(const IBounds& bounds) const
    {
        for (int i = 0; i < canvas->NControls(); ++i)
            if (canvas->GetControl(i)->GetRECT() == bounds)
                return canvas->GetControl(i);
        return nullptr;
    }

    /// The knob of `param` (the knobs are the only controls 134 units high).
    IControl* Knob(ParamId param) const
    {
        for (int i = 0; i < canvas->NControls(); ++i)
        {
            IControl* c = canvas->GetControl(i);
            if (c->GetParamIdx() == static_cast<int>(param) && c->GetRECT().H() == 134.f)
                return c;
        }
        return nullptr;
    }

    void SetParam(ParamId param, double value)
    {
        plugin->GetParam(static_cast<int>(param))->Set(value);
    }
    double Param(ParamId param) const { return plugin->GetParam(static_cast<int>(param))->Value(); }

    std::unique_ptr<Lumenfall> plugin = std::make_unique<Lumenfall>();
    EditorCanvas* canvas = nullptr;
};

} // namespace lumenfall::test
