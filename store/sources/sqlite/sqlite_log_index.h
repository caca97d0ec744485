// A file in write-ahead-log mode read without an index of its log beside it.
#pragma once

// The name of a VFS, registered on first use, that keeps the index of a write-ahead log in the
// connection's own memory instead of a shared-memory file beside the database.
const char* heapIndexVfs();
