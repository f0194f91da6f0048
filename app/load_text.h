#pragma once

// LoadText: a string-table text of the wizard in the language chosen at start-up (through
// LoadLocalizedString); an empty text for an id the table lacks. Every visible text of the
// wizard comes through here except the title, device and user names, drive letters and fixed
// separators. User-interface thread.

#include <cstdint>

#include "sdk/LBString.h"

LBString LoadText(std::uint32_t id);
