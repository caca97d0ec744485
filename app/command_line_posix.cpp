// The usage's lines of a POSIX terminal: Unix sockets, the manual page and signals.
#include "app/command_line.h"

const PlatformUsage kPlatformUsage{
    "                        or PostgreSQL's socket folder), Port, Database, UID, PWD;\n"
    "                        Socket for MariaDB over a Unix socket; DBQ for an Access\n"
    "                        file through the MDBTools driver (see man tavrinel)\n",
    "128+N ended by signal N (130 for Ctrl-C).\n"};
