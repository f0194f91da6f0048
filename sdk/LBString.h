#pragma once

// The wide-text value type lives in the public SDK header folder because the C exports pass it
// (as LBStringArg) across the library boundary.
#include "drivescout/lbstring.h"
