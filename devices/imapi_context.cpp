#include "devices/imapi_context.h"
