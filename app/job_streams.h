// What a job needs of the platform's standard streams and interrupts, with no console made.
#pragma once

// Whether standard error is a terminal (a console window), where a job shows its progress.
bool isStandardErrorTerminal();

// Ctrl-C, a closed window or a termination signal removes the temporary file of the file being
// written, then ends the program as it would have ended.
void removeTemporaryFileOnInterrupt();
