// The engine log: "Log.txt" in the start folder, CRLF lines stamped with the
// milliseconds since the log was started and indented with TABs. The file is
// opened and closed for every text, so it is complete after each line.
#pragma once

int StartLogFile();
int EndLogFile();
int WriteLogText(const char* text);             // always -1
int WriteLogFormat(const char* format, ...)     // always -1; appends "\n"
    __attribute__((format(printf, 1, 2)));
int IndentLog();
int UnindentLog();
int SetLogOutput(int on);
int GetLogIndent();
[[noreturn]] void AbortWithLog(const char* text);
[[noreturn]] void AbortWithLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The engine's shutdown, run by the fatal path before the process ends.
// Start-up installs it; tests replace the exit itself.
void SetLogAbortHooks(void (*shutdown)(), void (*exit_process)(int code));
