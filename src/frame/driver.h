#pragma once

// Runs one command of the program and returns the process exit code.
int RunBrenmoor(int argc, char** argv);
