#pragma once

// CControlFactory: makes the control of a layout tag. Every tag the library
// knows is registered in ONE place, the table at the top of
// ControlFactory.cpp; a new control class adds its line there (tag and the
// function that makes it). Code outside the library (a window with a control
// of its own, a test) may add tags at run time with RegisterControl.
//
// Tags: Control, Label, Button, Option, Progress, Slider (a CProgressUI in
// its slider form), Container, VerticalLayout, HorizontalLayout. Tags match
// exactly (case matters), as the XML they come from.

class CControlUI;

using CREATECONTROLPROC = CControlUI* (*)();

class CControlFactory
{
public:
    // A new control for the tag, null for an unknown tag.
    static CControlUI* CreateControl(const char* tag);
    // Adds a tag; false when the tag is known already (the first stays).
    static bool RegisterControl(const char* tag, CREATECONTROLPROC create);
};
