// The usage's lines on Windows: no sockets or manual page, and the status Windows itself gives a
// program ended by Ctrl-C, Ctrl-Break or its window's closing (STATUS_CONTROL_C_EXIT).
#include "app/command_line.h"

const PlatformUsage kPlatformUsage{
    "                        or its IP address), Port, Database, UID, PWD; DBQ for an\n"
    "                        Access file, through a 64-bit driver (Microsoft Access\n"
    "                        Driver (*.mdb, *.accdb) of 64-bit Office or Engine)\n",
    "-1073741510 (0xC000013A) ended by Ctrl-C or by closing the window.\n"};
