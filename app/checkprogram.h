#pragma once

struct CommandLine;

// crtest --check as a program: binds the driver, runs the check on Qt Core alone, prints
// the report on standard output and returns the exit status.
int runCheckProgram(int argc, char **argv, const CommandLine &line);
