#pragma once
#include <string>

// Appends "HH:MM:SS message" to the log, opening and closing the file for the
// one line. A new file starts with the three header lines. An empty log name
// means logging is off. A failure ends the run with a run-time error.
void WriteLog(const std::string& logName, const std::string& message);

// The start-of-run entry with the message date between its ornaments.
void StartLogRun(const std::string& logName);

// The reason a run ends in failure, in the log when it is open. It never
// ends the run itself: the log may be what failed.
void LogFatal(const std::string& message);
