// Standard output and error lead nowhere while a database driver runs: drivers print notices and
// debugging lines of their own there, which would land in the middle of the program's screen.
#pragma once

class DriverOutputMuted {
 public:
  // What the program itself wrote before is flushed first; what the driver left in the C
  // library's buffers goes with the driver's when the output is given back.
  DriverOutputMuted();
  ~DriverOutputMuted();
  DriverOutputMuted(const DriverOutputMuted&) = delete;
  DriverOutputMuted& operator=(const DriverOutputMuted&) = delete;

 private:
  // The descriptor calls, one file of each platform: the null device opened for writing, a
  // duplicate of fd that a program the driver might start does not inherit, fd made a copy of
  // by, and a descriptor closed. Each gives -1 where it fails.
  static int openNullDevice();
  static int duplicate(int fd);
  static void replace(int fd, int by);
  static void closeDescriptor(int fd);

  int saved_[2] = {-1, -1};  // standard output and error as they were
};
