#pragma once
// The driver: start-up and the one command table, above every subsystem.

// Runs one command of the program and returns the process exit code.
int RunBrenmoor(int argc, char** argv);
