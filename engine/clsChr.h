// SPDX-License-Identifier: MIT
// A measured character: the lightness levels of its four quarters (0 to 15.96,
// higher is lighter) and its two-byte code page 932 code, lead byte high.
#pragma once

#include <cstdint>

class clsChr {
public:
    float TL = 0;
    float TR = 0;
    float BL = 0;
    float BR = 0;
    int32_t AsciiNo = 0;
};
