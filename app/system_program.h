#ifndef APP_SYSTEM_PROGRAM_H_
#define APP_SYSTEM_PROGRAM_H_

#include "app/start_up.h"

// Runs `program` over the command line on the real services of the platform it is built
// for (the system's drives, console, target file system) and returns the exit status.
int RunSystemProgram(Program program, int argc, char** argv);

// The entry point of a program: main, or on Windows wmain, which takes the command line
// as UTF-16 (-municode), holding every character whatever the system's code page, and
// hands it on as UTF-8.
#if defined(_WIN32)
#include "platform/win32/utf8_arguments.h"
#define PEEK_PROGRAM_ENTRY(program)                                          \
  int wmain(int argc, wchar_t** argv) {                                      \
    platform::Utf8Arguments arguments(argc, argv);                           \
    return RunSystemProgram(program, arguments.Count(), arguments.Vector()); \
  }
#else
#define PEEK_PROGRAM_ENTRY(program) \
  int main(int argc, char** argv) { return RunSystemProgram(program, argc, argv); }
#endif

#endif  // APP_SYSTEM_PROGRAM_H_
