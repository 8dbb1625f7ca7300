// SPDX-License-Identifier: MIT
// Whether a window can open at all, asked before QApplication would abort.
#pragma once

// True when a display (X11 or Wayland) or an explicit Qt platform is set;
// otherwise tells the user on standard error, naming the program, and answers false.
bool HasDisplay(const char* program);
