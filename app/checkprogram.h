#pragma once

struct CommandLine;
class DriverLoad;

// crtest --check as a program: binds the driver (finishing the load begun for it), runs the
// check on Qt Core alone, prints the report on standard output and returns the exit status.
int runCheckProgram(int argc, char **argv, const CommandLine &line, DriverLoad &driverLoad);
