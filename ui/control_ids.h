// The windows find their control ids in the core, where the tables and the
// codec take theirs (params/control_ids.h): named once for both.
#pragma once
#include "params/control_ids.h"
