// SPDX-License-Identifier: MIT
// Names and reasons shown on a terminal: a file name may hold escape
// sequences that would retitle or clear the user's terminal, or bytes that
// are not text at all.
#pragma once

#include <QString>

// text with every control character (C0, DEL, C1) and every byte kept by
// PathFromNative written as \xNN; everything else as it is.
QString PrintableText(const QString& text);
