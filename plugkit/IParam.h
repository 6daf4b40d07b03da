#pragma once

#include "plugkit/HeapBuffer.h"
#include "plugkit/HeapString.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

namespace plugkit
{

/// One plug-in parameter. The value is stored in real units and read and written atomically
/// (audio thread and UI thread); everything else is written once, by an Init operation, in the
/// plug-in's constructor. Hosts and controls exchange normalized values in [0, 1] through the
/// parameter's `Shape`. Every setter ignores non-finite input, so a stored value is always
/// finite and a saved state can always be restored.
class IParam
{
public:
    enum EParamType : int32_t
    {
        kTypeNone = 0,
        kTypeBool = 1,
        kTypeEnum = 3,
        kTypeDouble = 4,
    };

    enum EFlags : int32_t
    {
        kFlagsNone = 0,
        kFlagCannotAutomate = 1,
        kFlagStepped = 2, ///< values snap to multiples of the step
        kFlagNegateDisplay = 4,
        kFlagSignDisplay = 8, ///< a forced sign on non-zero displayed values
    };

    static constexpr int32_t kUnitCustom = 21;
    static constexpr int kMaxTextLength = 31;

    /// Writes the display text of a real value; replaces the built-in formatting.
    using DisplayFunc = std::function<void(double value, HeapString& out)>;

    /// Maps normalized values to real values and back. [any-thread]: pure functions of their
    /// arguments and the parameter's constant range, called from both threads.
    class Shape
    {
    public:
        virtual ~Shape() = default;
        /// A new copy; null when it cannot be allocated.
        virtual Shape* Clone() const = 0;
        virtual void Init(const IParam&) {}
        /// Display-type code read by host adapters (0 linear, 3-6 curve classes).
        virtual int GetDisplayType() const = 0;
        virtual double NormalizedToValue(double normalized, const IParam& param) const = 0;
        virtual double ValueToNormalized(double value, const IParam& param) const = 0;
    };

    /// value = min + n (max - min).
    class ShapeLinear : public Shape
    {
    public:
        Shape* Clone() const override;
        int GetDisplayType() const override { return 0; }
        double NormalizedToValue(double normalized, const IParam& param) const override;
        double ValueToNormalized(double value, const IParam& param) const override;
    };

    /// value = min + n^e (max - min); n = ((value - min) / (max - min))^(1/e).
    class ShapePowCurve : public Shape
    {
    public:
        explicit ShapePowCurve(double exponent)
            : mExponent(exponent)
        {
        }
        Shape* Clone() const override;
        int GetDisplayType() const override;
        double NormalizedToValue(double normalized, const IParam& param) const override;
        double ValueToNormalized(double value, const IParam& param) const override;
        double Exponent() const { return mExponent; }

    private:
        double mExponent;
    };

    IParam();
    IParam(const IParam&) = delete;
    IParam& operator=(const IParam&) = delete;

    void InitDouble(const char* name,
                    double defaultVal,
                    double minVal,
                    double maxVal,
                    double step,
                    const char* label = "",
                    int flags = 0,
                    const char* group = "",
                    const Shape& shape = ShapeLinear(),
                    int32_t unit = kUnitCustom,
                    DisplayFunc displayFunc = nullptr);

    /// Range 0 .. count - 1, step 1, stepped; display text i for value i.
    void InitEnum(const char* name,
                  int defaultVal,
                  std::initializer_list<const char*> texts,
                  int flags = 0,
                  const char* group = "");

    /// An enumeration of `nEnums` values; display texts from `first` and `rest` (as many as
    /// are given, at most `nEnums`).
    template <typename... Rest>
    void InitEnumArgs(const char* name,
                      int defaultVal,
                      int nEnums,
                      const char* label,
                      int flags,
                      const char* group,
                      const char* first,
                      Rest... rest)
    {
        const char* texts[] = {first, rest...};
        InitEnumTexts(name, defaultVal, nEnums, label, flags, group, texts, 1 + sizeof...(rest));
    }
    void InitEnumArgs(const char* name,
                      int defaultVal,
                      int nEnums,
                      const char* label = "",
                      int flags = 0,
                      const char* group = "")
    {
        InitEnumTexts(name, defaultVal, nEnums, label, flags, group, nullptr, 0);
    }

    /// Range 0 .. 1, stepped, display texts `offText` for 0 and `onText` for 1.
    void InitBool(const char* name,
                  bool defaultVal,
                  const char* label = "",
                  int flags = 0,
                  const char* group = "",
                  const char* offText = "off",
                  const char* onText = "on");

    /// Snaps a stepped value to the step (halves away from zero), then clamps it into the range.
    /// A non-finite value passes unchanged.
    double Constrain(double value) const;

    /// The real value in [min, max].
    double Value() const { return mValue.load(std::memory_order_relaxed); }
    bool Bool() const { return Value() >= 0.5; }
    int Int() const { return static_cast<int>(Value()); }

    /// Stores the constrained value; ignores a non-finite one (returns false).
    bool Set(double value);
    /// Stores the constrained real value of `normalized` (held in [0, 1] first); ignores a
    /// non-finite one (returns false).
    bool SetNormalized(double normalized);
    /// Sets the value to the default.
    void SetToDefault() { Set(mDefault); }

    /// The shape's normalized form of the constrained value, in [0, 1] (0 for NaN).
    double ToNormalized(double value) const;
    /// The constrained real value of `normalized` (held in [0, 1] first).
    double FromNormalized(double normalized) const;
    double GetNormalized() const { return ToNormalized(Value()); }

    double GetDefault(bool normalized = false) const
    {
        return normalized ? ToNormalized(mDefault) : mDefault;
    }
    double GetMin() const { return mMin; }
    double GetMax() const { return mMax; }
    double GetRange() const { return mMax - mMin; }
    double GetStep() const { return mStep; }
    int GetPrecision() const { return mDisplayPrecision; }
    int32_t GetFlags() const { return mFlags; }
    int32_t GetUnit() const { return mUnit; }
    EParamType Type() const { return mType; }
    bool GetCanAutomate() const { return !(mFlags & kFlagCannotAutomate); }
    bool GetStepped() const { return mFlags & kFlagStepped; }
    const Shape& GetShape() const { return *mShape; }
    int GetDisplayType() const { return mShape->GetDisplayType(); }

    /// Display text of `value` (real, or normalized when `normalized`), at most 32 characters.
    void
    GetDisplay(double value, bool normalized, HeapString& out, bool withDisplayText = true) const;
    /// Display text of the current value.
    void GetDisplay(HeapString& out, bool withDisplayText = true) const
    {
        GetDisplay(Value(), false, out, withDisplayText);
    }

    /// The display text stored for exactly `value`; "" when none.
    const char* GetDisplayText(double value) const;
    /// Entry `idx` of the display texts; null when outside. `pValue` receives its value.
    const char* GetDisplayTextAtIdx(int idx, double* pValue = nullptr) const;
    /// Appends a display text; false when it could not be stored.
    bool SetDisplayText(double value, const char* text);
    int NDisplayTexts() const;

    /// The value typed as `text`: a matching display text gives its value; otherwise 0 for
    /// Bool and Enum; otherwise the leading decimal number (0 when none), negated under the
    /// negate flag and constrained. Non-finite numbers read as 0.
    double StringToValue(const char* text) const;

    const char* GetName() const { return mName; }
    const char* GetGroup() const { return mGroup; }
    /// The unit label; "" when the current value has a display text.
    const char* GetLabel() const;
    /// The unit label whatever the value.
    const char* GetUnitLabel() const { return mLabel; }

private:
    struct DisplayText
    {
        double mValue;
        char mText[kMaxTextLength + 1];
    };

    void InitEnumTexts(const char* name,
                       int defaultVal,
                       int nEnums,
                       const char* label,
                       int flags,
                       const char* group,
                       const char* const* texts,
                       int nTexts);
    const DisplayText* DisplayTexts() const;

    EParamType mType = kTypeNone;
    int32_t mUnit = kUnitCustom;
    std::atomic<double> mValue{0.0};
    double mMin = 0.0;
    double mMax = 1.0;
    double mStep = 1.0;
    double mDefault = 0.0;
    int32_t mDisplayPrecision = 0;
    int32_t mFlags = 0;
    char mName[kMaxTextLength + 1] = {};
    char mLabel[kMaxTextLength + 1] = {};
    char mGroup[kMaxTextLength + 1] = {};
    std::unique_ptr<Shape> mShape;
    DisplayFunc mDisplayFunction;
    HeapBuffer mDisplayTexts;

    static_assert(std::atomic<double>::is_always_lock_free);
};

} // namespace plugkit
