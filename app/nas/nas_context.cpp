#include "app/nas/nas_context.h"

NasContext g_NasContext;
