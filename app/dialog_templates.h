#pragma once

// The wizard's four dialog templates: the main dialog (150) and its three pages, discovery
// (104), sign-in (105) and done (106). Texts in them are placeholders; each dialog sets its
// visible texts when it initialises.

#include "app/dialog_template.h"

enum DialogTemplateId : int {
    IDD_DEVICE_DISCOVERY = 104,
    IDD_DEVICE_LOGIN = 105,
    IDD_DISCOVERY_DONE = 106,
    IDD_DRIVESCOUT_DIALOG = 150,
};

// Control ids of the main dialog.
constexpr int IDC_HEADER_TEXT = 1027;

// The template with this id; throws std::out_of_range for an id that is not one of the four.
const DialogTemplate& GetDialogTemplate(int templateId);
