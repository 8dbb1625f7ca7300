// SPDX-License-Identifier: MIT
// The windows speak Japanese: a failed outcome worded by its kind, never the
// engine's English sentence pasted into a Japanese message.
#pragma once

#include "common/Outcome.h"

#include <QString>

// The reason of a failure in Japanese. A system error comes in the C
// library's Japanese where it has one, else in our wording of the common
// errno values; only an error nobody has worded shows its English text.
QString JapaneseReason(const Outcome& outcome);

// "path: reason" with the Japanese reason, or the reason alone without a path.
QString JapaneseMessage(const Outcome& outcome);

// The system's reason for errno value error, in Japanese as above.
QString JapaneseErrnoText(int error);
