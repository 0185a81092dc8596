// Guard bytes around the program's fixed buffers (the test build places them; see guard_zone).
#pragma once

// Fills every guard (and the alignment gap beside it) with a pattern; 0 when a buffer is not laid out
// between its guards, so the check would prove nothing.
int guards_arm();
// How many buffers have a changed guard byte; their names go into `names`.
int guards_broken(char *names, int size);
