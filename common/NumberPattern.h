// SPDX-License-Identifier: MIT
// Numbers in and out of text: patterns such as "##0" and "##0.0" for
// progress texts, and the leading number of a typed text.
#pragma once

#include <QString>

// Formats value by pattern: as many decimals as the pattern has digit places
// after its ".", at least as many integer digits as it has "0"s before it, no
// grouping. The value is first taken to 15 significant digits, then rounded
// half away from zero (12.5 gives "13" with "##0", 6.25 gives "6.3" with "##0.0").
QString FormatNumber(double value, const QString& pattern);

// The number a text begins with, as Visual Basic's Val reads it: "12" is 12,
// "9pt" is 9, "abc" is 0. Blanks in front are skipped.
double Val(const QString& text);
