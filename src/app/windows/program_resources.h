// The resource IDs the Windows programs' .rc (packaging/windows/program.rc.in) gives, shared
// with the code that loads them: plain macros, as the resource compiler reads this file too.
#pragma once

// The programs' icon, their first icon resource (Explorer shows it); a window class takes it
// with LoadIconW(instance, MAKEINTRESOURCEW(NICOPS_ICON_ID)) (16, 32, 48 and 256 pixels).
#define NICOPS_ICON_ID 1
