#pragma once

// Globals of the wizard that exist before the application initialises: the title (window
// caption, first half of every header line, message-box caption and system-log ident; never
// translated) and the device filter (the UDN prefix a listed device begins with). The global
// NasContext is g_NasContext (app/nas/nas_context.h). Read on the user-interface thread.

#include "sdk/LBString.h"

extern const LBString g_strAppTitle;      // "Drive Scout"
extern const LBString g_strDeviceFilter;  // "3b2b54a3-5512-4a2b-93f2"
