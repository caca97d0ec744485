// The one place that tells the operator memory ran out, so every layer reports it the same way.
#pragma once

constexpr const char* kOutOfMemoryMessage = "\n\n\tOut Of Memory\n";

// The store cannot reach the console, so the front end registers how the message is shown and
// the key waited for; without a handler the message goes to standard output.
using OutOfMemoryHandler = void (*)();
void setOutOfMemoryHandler(OutOfMemoryHandler handler);
void reportOutOfMemory();
