// peekdisk: lists directories of an X68000 disk or image.
#include "app/system_program.h"

PEEK_PROGRAM_ENTRY(Program::kPeekDisk)
