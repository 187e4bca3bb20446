#pragma once

struct CommandLine;
struct TrialLoad;

// crtest --check as a program: binds the driver (after the trial load started for it),
// runs the check on Qt Core alone, prints the report on standard output and returns the
// exit status.
int runCheckProgram(int argc, char **argv, const CommandLine &line, TrialLoad &trial);
