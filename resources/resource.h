#pragma once
// Resource ids shared by the module's resource script and its code.
