#include "app/app_globals.h"

const LBString g_strAppTitle(u"Drive Scout");
const LBString g_strDeviceFilter(u"3b2b54a3-5512-4a2b-93f2");
