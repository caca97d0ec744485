// load_bench --connect: the load from a database server next to a plain read of its tables.
#pragma once

// argv[1] is "--connect". Returns the exit status.
int runServerBench(int argc, char** argv);
