// SPDX-License-Identifier: MIT
#include "ui/DisplayCheck.h"

#include <cstdio>
#include <cstdlib>

bool HasDisplay(const char* program)
{
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM"))
        return true;
    std::fprintf(stderr,
                 "%s: no display found (DISPLAY is not set); "
                 "the window needs a graphical session.\n",
                 program);
    return false;
}
