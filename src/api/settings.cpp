/*
 * The library's settings with their values before any CMSetInfo.
 */
#include "api/settings.h"

CMSETTINGS LIB_Settings = {"C:\\TEMP\\vorlane.zab", 0, "", 0, "", 0};
