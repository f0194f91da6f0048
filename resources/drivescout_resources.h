#pragma once

// The program's own resources, generated at build time from resources/strings.tsv and
// resources/dictionary.tsv (library ds_resources): the string table and the translation
// dictionary (type "Dictionary", id resources::IDR_DICTIONARY).
//
// Start-up installs it before choosing the language:
//   platform::installExecutableResources(&resources::driveScoutResources());

#include "platform/resources.h"

namespace resources {

// Built on first use, lives to the end of the process; read-only, any thread.
const platform::ResourceModule& driveScoutResources();

}  // namespace resources
