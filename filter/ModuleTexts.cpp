#include "filter/ModuleTexts.h"

#include "filter/Identity.h"

char ModuleNameText[256] = VELDRA_NAME;
char ModuleAuthorText[256] = VELDRA_AUTHOR;
char ModuleNoticeText[256] = VELDRA_NOTICE;
