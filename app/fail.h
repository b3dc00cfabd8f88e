// Ending a tool's run that cannot go on: one line on standard error, then a distinct exit
// status. The model itself never ends the process; it raises runError for main to report.
#pragma once

#include <functional>
#include <string>

#include "failure.h"

// The name every message of this program starts with; main sets it before anything else.
void setProgramName(const char* name);
const char* programName();

// Writes "<program>: <message>\n" to standard error and ends the process with `status`.
[[noreturn]] void fail(int status, const std::string& message);

// What main does with a runError: the same line, and the status to return.
int reportRunError(const runError& error);

// A program that knows what to do about some of its failures gives a function that turns
// a failure's message into a hint ("" for none); fail and reportRunError print the hint as
// "<program>: <hint>" on a line of its own after the message, which stays as it was.
using FailureHint = std::function<std::string(const std::string& message)>;
void setFailureHint(FailureHint hint);
