/* Who the module is: its texts and numbers, in one place. Plain #defines so
   that the resource compiler can read this header too. */
#pragma once

#define VELDRA_NAME "Veldra"
#define VELDRA_PRODUCT "Veldra Image Generator"
#define VELDRA_VERSION_TEXT "Version 1.0"
/* The release (VELDRA_RELEASE, and VELDRA_RELEASE_NUMBERS for the Windows
   version resource), generated from the project version. */
#include "filter/Release.h"
#define VELDRA_AUTHOR "Written by the Veldra developers"
#define VELDRA_COPYRIGHT "Copyright (C) 2026 Veldra"
#define VELDRA_NOTICE VELDRA_COPYRIGHT ". Apache License 2.0."
#define VELDRA_LICENCE "Licensed under the Apache License, Version 2.0"
#define VELDRA_WEB "https://veldra.example"
#define VELDRA_DESCRIPTION VELDRA_PRODUCT ", turns each frame about X, Y or Z"
#define VELDRA_CATEGORY "Image Filter"
#define VELDRA_MODULE_FILE "VELDRA.FLT"

/* Marks the filter's parameter block and is the first word of its class
   identifier. */
#define VELDRA_TAG 0x6AC71744u
#define VELDRA_CLASS_ID_SECOND 0x41DE1E4Eu
/* Bits 1 and 2: the filter has a setup dialog and works on the source alone. */
#define VELDRA_CAPABILITY_FLAGS 6u
#define VELDRA_MODULE_VERSION 110
