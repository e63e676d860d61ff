#include "filter/ModuleInstance.h"

HINSTANCE ModuleInstance = nullptr;
