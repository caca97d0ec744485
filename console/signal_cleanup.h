// The one file that a fatal signal removes before the program ends: a half-written temporary file.
#pragma once

// Registers path (copied) for removal should SIGINT, SIGTERM, SIGHUP or SIGQUIT end the program
// before clearUnlinkOnFatalSignal. One path at a time: a second call replaces the first. Returns
// false, registering nothing, when the path is longer than the registry holds (PATH_MAX - 1).
bool setUnlinkOnFatalSignal(const char* path);

// The file was renamed into place or removed: a signal now leaves it alone.
void clearUnlinkOnFatalSignal();

// Removes the registered file, if any. Async-signal-safe: for the fatal-signal handler only.
void unlinkOnFatalSignal();
