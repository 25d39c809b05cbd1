#pragma once
// The string-table texts live in foundation/; this name stays for the files
// that include it from here.
#include "foundation/ResourceText.h"
