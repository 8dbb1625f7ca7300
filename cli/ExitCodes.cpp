// SPDX-License-Identifier: MIT
#include "cli/ExitCodes.h"

namespace {

struct Rule {
    Subject subject;
    std::optional<FailureKind> kind; // nothing: any kind
    ExitCode code;
};

// The first rule that matches decides. Scripts tell a bad picture from a
// full disk by the code; the kinds named are those whose code was chosen on
// purpose, the rest follow their subject.
constexpr Rule kRules[] = {
    // A picture memory cannot hold is still the picture's: another picture may convert.
    {Subject::Picture, FailureKind::NoMemory, kExitImage},
    {Subject::Picture, std::nullopt, kExitImage},
    {Subject::Database, std::nullopt, kExitDatabase},
    // A drawing over the limit or beyond memory fails the output, not the picture.
    {Subject::Output, FailureKind::TooLarge, kExitOutput},
    {Subject::Output, FailureKind::NoMemory, kExitOutput},
    {Subject::Output, std::nullopt, kExitOutput},
};

} // namespace

int ExitCodeFor(Subject subject, const Outcome& outcome)
{
    if (!outcome.IsFailed())
        return kExitDone;
    for (const Rule& rule : kRules)
        if (rule.subject == subject && (!rule.kind || *rule.kind == outcome.Kind()))
            return rule.code;
    return kExitOutput; // unreachable: every subject has a rule for any kind
}
