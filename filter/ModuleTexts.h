// Module-wide texts that filters and the class descriptor hand out by
// pointer. Each is a 256-byte array, zero-filled after the text; callers
// read them and never free them, and nothing writes them after load.
#pragma once

extern char ModuleNameText[256];
extern char ModuleAuthorText[256];
extern char ModuleNoticeText[256];
