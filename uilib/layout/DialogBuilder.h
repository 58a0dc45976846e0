#pragma once

// CDialogBuilder: builds a control tree from an XML layout.
//
// The layout is a file of the resource store (the resource folder first,
// then the resource archive) or, when the text given starts with '<', the
// XML itself. A layout that cannot be read or parsed gives null; the window
// then stays empty. Inside a layout, an unknown tag, an unknown attribute or
// a bad value is reported (CLayoutDiagnostics: file and line) and skipped;
// the rest is built.
//
// ---------------------------------------------------------------- the layout language
//
// <Window size="420,600" caption="0,0,0,32" roundcorner="6,6" mininfo="300,400">
//   <Font name="Sans" size="18" bold="false" underline="false" italic="false" default="false"/>
//   <VerticalLayout ...> ... </VerticalLayout>
// </Window>
//
// Window (the root element; optional: a layout may be one control tree):
//   size         "cx,cy": the window's first size, used when the window has
//                none yet (CPaintManagerUI::SetInitSize).
//   caption      "l,t,r,b": the band that drags the window. l and r are
//                insets from the client area's left and right edges, t and b
//                client y coordinates (0,0,0,32: the top 32 px, full width).
//   roundcorner  "cx,cy": the ellipse of the rounded window corners; 0,0 square.
//   mininfo      "cx,cy": the smallest size the window should take.
//   maxinfo      "cx,cy": the largest size the window should take.
//   defaultfontcolor, disabledfontcolor  "#AARRGGBB" or "#RRGGBB": text
//                colours of controls whose layout gives none.
// Font (children of Window, before the controls): registers a font in the
// paint manager's list; the fonts are numbered 0, 1, ... in document order,
// and a control's font="n" picks one.
//   name         face (family) name;  size  pixels;  bold, underline,
//                italic  "true"/"false";  default  "true": also the font of
//                controls without a font index.
// The first control element after the fonts is the root of the tree.
//
// Attributes of every control (CControlUI):
//   name         the name FindControl looks for (several may share one).
//   pos          "l,t,r,b": in a plain Container, the child's rectangle
//                relative to the container's inner top-left corner; in a
//                layout its width and height act as width/height.
//   padding      "l,t,r,b": outer margin kept free around the control.
//   width, height   fixed size in pixels; absent or 0: share the free space.
//   minwidth, minheight, maxwidth, maxheight   pixels.
//   bkcolor, bordercolor   "#AARRGGBB" or "#RRGGBB"; bordersize  pixels.
//   bkimage, foreimage   image attribute lists (uilib/core/ImageInfo.h):
//                "file='a.png' dest='10,0,10,0' corner='5,5,5,5' xtiled='true'".
//                The fore image is drawn over the children of a container.
//   text, tooltip, userdata   texts.
//   visible, enabled   "true"/"false".
//   mouse        "false": the control never takes the mouse (a press falls
//                through to what is under it).
//   keyboard     "false": a press does not give it the keyboard focus.
// Containers (Container, VerticalLayout, HorizontalLayout):
//   inset        "l,t,r,b": inner margin.
//   childpadding pixels between two neighbouring children (layouts).
//   mousechild   "false": the children never take the mouse.
// VerticalLayout:
//   vscrollbar   "true": a scroll bar appears when the children need more
//                height than the layout has.
// Layout rules: the layouts place their visible children in document order;
// a fixed size is kept, the others share what is left equally (pixels left
// over go one each to the first sharing children).
//
// Tags: uilib/layout/ControlFactory.h. Attributes of the leaf controls:
// their headers (LabelUI.h, ButtonUI.h, OptionUI.h, ProgressUI.h).

class CControlUI;
class CPaintManagerUI;
class TiXmlElement;

// Makes controls for tags the factory does not know (a window's own
// controls); answers null for tags it does not know either.
class IDialogBuilderCallback
{
public:
    virtual CControlUI* CreateControl(const char* tag) = 0;

protected:
    ~IDialogBuilderCallback() = default;
};

class CDialogBuilder
{
public:
    // Builds `layout` (a resource name, or XML text starting with '<').
    // `type` names where a resource comes from in other hosts; here
    // layouts always come from the resource store, so it is not used.
    // With a manager, the Window element's attributes and the fonts go to
    // it. With a parent container, the built controls are added to it;
    // otherwise the caller owns the root (usually handing it to
    // CPaintManagerUI::AttachDialog). Answers the root, or the first control
    // added to `parent`; null when nothing was built.
    CControlUI* Create(const char* layout, const char* type = nullptr, IDialogBuilderCallback* callback = nullptr,
                       CPaintManagerUI* manager = nullptr, CControlUI* parent = nullptr);

private:
    void ApplyWindowAttributes(const TiXmlElement* window, CPaintManagerUI* manager);
    void AddFont(const TiXmlElement* font, CPaintManagerUI* manager);
    // Builds one element and its subtree into `parent` (null: a root).
    CControlUI* BuildControl(const TiXmlElement* element, CControlUI* parent);

    IDialogBuilderCallback* callback = nullptr;
};
