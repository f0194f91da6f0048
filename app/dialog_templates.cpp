#include "app/dialog_templates.h"

#include <stdexcept>

#include "app/artwork.h"

namespace {

using enum ControlClass;

DialogTemplate MakeMainDialog() {
    DialogTemplate t;
    t.id = IDD_DRIVESCOUT_DIALOG;
    t.frame = DialogFrame::PopupCaption;
    t.cx = 400;
    t.cy = 250;
    t.caption = "Drive Scout";
    t.controls = {
        // The first control: its rectangle is where the pages are placed.
        {IDC_STATIC, Static, "", 0, {20, 52, 360, 182}, kStaticCenterImage},
        {IDC_STATIC, Static, "", IDB_LOGO, {20, 20, 74, 22}, kStaticBitmap},
        {IDC_HEADER_TEXT, Static, "", 0, {98, 29, 286, 14}, kStaticLeft},
    };
    return t;
}

DialogTemplate MakeDiscoveryPage() {
    DialogTemplate t;
    t.id = IDD_DEVICE_DISCOVERY;
    t.cx = 362;
    t.cy = 176;
    t.controls = {
        {1001, Static, "", IDB_CHECK, {0, 0, 15, 13}, kStaticBitmap},
        {1002, Static, "", 0, {20, 0, 328, 10}, kStaticLeft},
        {1004,
         ListView,
         "",
         0,
         {0, 18, 360, 126},
         kListReport | kListNoColumnHeader | kListAlignLeft | kStyleBorder | kStyleTabStop},
        {1006, Button, "", 0, {0, 156, 90, 17}, kButtonPush | kStyleTabStop},
        {1021, ProgressBar, "", 0, {2, 54, 354, 14}, kProgressMarquee | kStyleBorder},
        {1023, Static, "", 0, {3, 70, 352, 15}, kStaticCenter},
        {1034,
         Edit,
         "",
         0,
         {0, 84, 108, 37},
         kEditMultiline | kEditReadOnly | kStyleBorder | kStyleTabStop},
    };
    return t;
}

DialogTemplate MakeSignInPage() {
    DialogTemplate t;
    t.id = IDD_DEVICE_LOGIN;
    t.cx = 360;
    t.cy = 181;
    t.controls = {
        {1016, Button, "", 0, {144, 156, 114, 18}, kButtonPush | kStyleTabStop},
        {1007, Button, "", 0, {0, 156, 57, 18}, kButtonPush | kStyleTabStop},
        {1013, Static, "", 0, {0, 30, 357, 15}, kStaticLeft},
        {1008,
         ComboBox,
         "",
         0,
         {90, 108, 103, 30},
         kComboDropDownList | kComboSort | kStyleVScroll | kStyleTabStop},
        {1010,
         Edit,
         "",
         0,
         {90, 127, 103, 12},
         kEditPassword | kEditAutoHScroll | kStyleBorder | kStyleTabStop},
        {1009, Button, "", 0, {72, 156, 57, 18}, kButtonPush | kStyleTabStop},
        {1015, Static, "", 0, {0, 48, 357, 54}, kStaticLeft},
        {1024, Static, "", 0, {0, 0, 14, 16}, kStaticBitmap},
        {1026, Static, "", 0, {18, 0, 336, 28}, kStaticLeft},
        {1029, Static, "", IDB_EXCLAMATION, {198, 129, 3, 8}, kStaticBitmap},
        {1035, Static, "", 0, {0, 108, 84, 12}, kStaticRight | kStaticCenterImage},
        {1036, Static, "", 0, {0, 127, 84, 12}, kStaticRight | kStaticCenterImage},
    };
    return t;
}

DialogTemplate MakeDonePage() {
    DialogTemplate t;
    t.id = IDD_DISCOVERY_DONE;
    t.cx = 360;
    t.cy = 182;
    t.controls = {
        {1012, Button, "", 0, {0, 162, 57, 18}, kButtonPush | kStyleTabStop},
        {1013, Static, "", 0, {0, 25, 354, 18}, kStaticLeft | kStaticCenterImage},
        {1030, Static, "", 0, {0, 70, 360, 16}, kStaticLeft},
        {1032, Static, "", 0, {0, 132, 360, 27}, kStaticLeft | kStaticCenterImage},
        {1031, Static, "", 0, {29, 91, 118, 16}, kStaticLeft | kStaticCenterImage | kStyleHidden},
        {1039, Static, "", IDB_DRIVE, {0, 91, 24, 16}, kStaticBitmap | kStyleHidden},
        {1040, Static, "", IDB_DRIVE, {0, 110, 24, 16}, kStaticBitmap | kStyleHidden},
        {1033, Static, "", 0, {29, 110, 118, 16}, kStaticLeft | kStaticCenterImage | kStyleHidden},
        {IDC_STATIC, Static, "", IDB_CHECK, {0, 0, 15, 13}, kStaticBitmap},
        {1037, Static, "", 0, {18, 0, 341, 24}, kStaticLeft},
        {1034, Static, "", 0, {0, 48, 360, 19}, kStaticLeft},
    };
    return t;
}

}  // namespace

const DialogTemplate& GetDialogTemplate(int templateId) {
    static const DialogTemplate mainDialog = MakeMainDialog();
    static const DialogTemplate discoveryPage = MakeDiscoveryPage();
    static const DialogTemplate signInPage = MakeSignInPage();
    static const DialogTemplate donePage = MakeDonePage();
    switch (templateId) {
        case IDD_DRIVESCOUT_DIALOG:
            return mainDialog;
        case IDD_DEVICE_DISCOVERY:
            return discoveryPage;
        case IDD_DEVICE_LOGIN:
            return signInPage;
        case IDD_DISCOVERY_DONE:
            return donePage;
        default:
            throw std::out_of_range("no dialog template with this id");
    }
}
