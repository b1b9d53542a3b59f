// hauldisk: copies files and directory trees off an X68000 disk or image into the
// current directory.
#include "app/system_program.h"

PEEK_PROGRAM_ENTRY(Program::kHaulDisk)
