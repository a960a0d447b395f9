#pragma once
// `larkspire --check [SYMBOL]`: one symbol through every stage, one line a
// stage (the request and its proxy, each redirect, the consent form, the
// answer, the page layout, the title, each figure and what it means, the
// time taken) and a last line that starts with the verdict: OK, UNKNOWN,
// REFUSED, FAILING, CHANGED or UNREACHABLE. It writes no settings and shows
// no window.
#include "batch/batch_run.h"
#include "batch/command_line.h"

namespace larkspire {

enum class CheckVerdict { Ok, Unknown, Refused, Failing, Changed, Unreachable };

// The verdict on a fetch and, when a page came, what was read of it.
CheckVerdict checkVerdict(const HttpResult& result, bool quoteRead);

// The REFUSED verdict's line for an HTTP status.
QString refusalVerdict(int status);

// Returns the exit status: 0 only for OK.
int runCheck(const CommandLine& commandLine, const BatchServices& services);

} // namespace larkspire
