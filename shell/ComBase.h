#pragma once
// The COM object shape lives in foundation/ (the settings sheet's menu object
// is one too); this name stays for the files that include it from here.
#include "foundation/ComBase.h"
