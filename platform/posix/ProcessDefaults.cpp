#include "platform/ProcessDefaults.h"

void SetProcessDefaults() {}
