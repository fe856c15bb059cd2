// The resources both stubs (the runtime and the uninstaller) carry, named
// once for the resource script (startup/runtime.rc) and for the code that
// loads them. Plain macros: the resource compiler reads this file too.
#pragma once

// The executable's icon, a named resource: a bare name in the resource
// script, a text for LoadIcon.
#define PVX_ICON_RESOURCE MAINICON
#define PVX_RESOURCE_TEXT_(name) #name
#define PVX_RESOURCE_TEXT(name) PVX_RESOURCE_TEXT_(name)
#define PVX_ICON_RESOURCE_NAME PVX_RESOURCE_TEXT(PVX_ICON_RESOURCE)
