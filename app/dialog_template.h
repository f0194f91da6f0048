#pragma once

// A dialog template as data: the dialog's size, font and frame, and each control's id, class,
// text, rectangle and styles. Rectangles are in dialog units (see dialog_units.h), so a template
// lays out the same way whatever the dialog font measures. The templates of the wizard live in
// dialog_templates.h; CBaseDiscDlg builds its controls from one.

#include <cstdint>
#include <vector>

// Control ids as the dialogs address them; several decorative controls share -1.
constexpr int IDC_STATIC = -1;

enum class ControlClass { Static, Button, Edit, ListView, ProgressBar, ComboBox };

// Style bits of a control (our own values). The class decides which bits mean anything.
enum ControlStyle : std::uint32_t {
    kStyleNone = 0,
    kStyleHidden = 1u << 0,   // created invisible
    kStyleTabStop = 1u << 1,  // reached with Tab
    kStyleBorder = 1u << 2,   // thin frame
    kStyleVScroll = 1u << 3,  // vertical scroll bar
    // static
    kStaticLeft = 1u << 8,          // text left aligned, wrapped at words
    kStaticCenter = 1u << 9,        // text centred, wrapped at words
    kStaticRight = 1u << 10,        // text right aligned, wrapped at words
    kStaticBitmap = 1u << 11,       // shows a bitmap; the control takes the bitmap's size
    kStaticCenterImage = 1u << 12,  // text vertically centred; a bitmap keeps the control's size
    // button
    kButtonPush = 1u << 8,
    // edit
    kEditMultiline = 1u << 8,
    kEditReadOnly = 1u << 9,
    kEditPassword = 1u << 10,
    kEditAutoHScroll = 1u << 11,
    // list view
    kListReport = 1u << 8,
    kListNoColumnHeader = 1u << 9,
    kListAlignLeft = 1u << 10,
    kListNoSortHeader = 1u << 11,
    // progress bar
    kProgressMarquee = 1u << 8,
    // combo box
    kComboDropDownList = 1u << 8,
    kComboSort = 1u << 9,
};

// A rectangle in dialog units: left, top, width, height.
struct DialogRect {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

struct ControlTemplate {
    int id = IDC_STATIC;
    ControlClass controlClass = ControlClass::Static;
    const char* text = "";  // UTF-8; a placeholder in every wizard template
    int bitmapId = 0;       // bitmap resource shown by a bitmap static, 0 for none
    DialogRect rect;
    std::uint32_t style = kStyleNone;
};

enum class DialogFrame {
    // pop-up with caption, system menu, minimize box and modal frame: a top-level window
    PopupCaption,
    // child dialog without caption: a page placed inside another dialog
    Child,
};

struct DialogTemplate {
    int id = 0;
    DialogFrame frame = DialogFrame::Child;
    int cx = 0;  // dialog units
    int cy = 0;
    const char* caption = "";
    const char* fontFace = "MS Shell Dlg";
    int fontPointSize = 8;
    int fontWeight = 400;
    std::vector<ControlTemplate> controls;  // in creation (and tab) order
};
