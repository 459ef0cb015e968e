// A deadline on the whole exchange with the X server, so that one that never answers cannot
// hold the program.
#pragma once

// Starts the clock, and holds SIGPIPE back until DisarmDeadline.
void ArmDeadline();

// The socket to shut down when time is up; -1 for none. Set it before a blocking connect().
void WatchSocket(int fd);

// Stops the clock and puts the signal handling back as it was, dropping a SIGPIPE raised meanwhile.
void DisarmDeadline();
