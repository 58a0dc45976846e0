#pragma once

// CProgressUI: a bar that shows a value between a minimum and a maximum, and
// in its slider form lets the user set it.
//
// Painting: bkimage is the track (the whole control); foreimage is the filled
// part, drawn over the whole control but clipped to the part from the start
// (left, or bottom for a vertical bar) up to the value, so the picture is not
// squeezed as the value changes. A slider also draws its thumb on top, and
// fills up to the middle of the thumb.
//
// The slider form (attribute slider="true", or the layout tag Slider) reacts
// to the user: pressing the thumb and dragging it, or pressing the track
// (the thumb then jumps under the mouse and can be dragged on), the wheel,
// and the arrow, Page Up / Page Down (a tenth of the range, at least one
// step), Home and End keys while it has the focus. Every change the
// user makes notifies "valuechanging" with the new value already set (so the
// volume follows a drag live); the end of a gesture (the release after a
// drag that changed the value, each wheel notch, each key) notifies
// "valuechanged". SetValue from code notifies nothing.
//
// Values are whole numbers; a value set by the user lands on a multiple of
// `step` counted from the minimum (or on the maximum).
//
// Attributes (beside CLabelUI's): min, max, value, horizontal (true/false),
// slider (true/false), step, thumbimage, thumbhotimage, thumbpushedimage
// (image attribute lists), thumbsize "w,h" (the thumb picture's own size when
// absent; the control's height, square, when there is no picture either).

#include "uilib/controls/LabelUI.h"

class CProgressUI : public CLabelUI
{
public:
    CProgressUI();

    const char* GetClass() const override;
    void* GetInterface(const char* name) override;

    int GetMinValue() const;
    void SetMinValue(int value);
    int GetMaxValue() const;
    void SetMaxValue(int value);
    int GetValue() const;
    // Clamped to the range.
    void SetValue(int value);
    // Sets the value as the user's hand does (a screen reader's value, for
    // one): clamped, on a step, and notified as "valuechanging" and then
    // "valuechanged" when it changed. Nothing while disabled.
    void SetValueByUser(int value);

    bool IsHorizontal() const;
    void SetHorizontal(bool horizontal);
    bool IsSlider() const;
    void SetSlider(bool slider);
    // How far one wheel notch or arrow key moves the value; at least 1.
    int GetStep() const;
    void SetStep(int step);

    CStdString GetThumbImage() const;
    void SetThumbImage(const char* attributeList);
    CStdString GetThumbHotImage() const;
    void SetThumbHotImage(const char* attributeList);
    CStdString GetThumbPushedImage() const;
    void SetThumbPushedImage(const char* attributeList);
    SIZE GetThumbSize() const;
    void SetThumbSize(SIZE size);

    // The thumb's rectangle in client coordinates (slider form).
    RECT GetThumbRect() const;

    // The slider form takes the keyboard focus; a plain bar does not.
    bool IsFocusable() const override;
    void SetEnabled(bool enabled) override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const char* name, const char* value) override;
    void PaintForeImage(HDC painter) override;

private:
    enum class EChangeEnd
    {
        // More changes of the same gesture follow: "valuechanging" only.
        Continues,
        // The gesture ends with this change: "valuechanging", "valuechanged".
        Ends,
    };
    enum class EDirection
    {
        Up,
        Down,
    };
    // One step from `from` towards the maximum or the minimum.
    int StepFrom(int from, EDirection direction) const;
    // A tenth of the range (at least one step) from `from`, on the step grid.
    int PageFrom(int from, EDirection direction) const;
    // Sets the value from the user's hand and notifies when it changed.
    void ChangeByUser(int value, EChangeEnd end);
    // The value the thumb would have with its top-left corner at the mouse
    // position less the grab offset.
    int ValueAtPoint(POINT point) const;
    int SnapToStep(int value) const;
    // Fraction of the range the value has reached, 0..1.
    double Fraction() const;
    SIZE EffectiveThumbSize() const;
    void SetThumbPicture(CStdString& text, TImageInfo& info, const char* attributeList);

    int minValue = 0;
    int maxValue = 100;
    int value = 0;
    int step = 1;
    bool horizontal = true;
    bool slider = false;

    bool thumbHot = false;
    bool dragging = false;
    // Where in the thumb it was grabbed, pixels from its top-left corner.
    POINT grabOffset = {0, 0};
    // The value when the press started: the release reports a change only
    // when the drag ended elsewhere.
    int valueAtPress = 0;

    CStdString thumbImage;
    TImageInfo thumbImageInfo;
    CStdString thumbHotImage;
    TImageInfo thumbHotImageInfo;
    CStdString thumbPushedImage;
    TImageInfo thumbPushedImageInfo;
    SIZE thumbSize = {0, 0};
};
