// Reading the remote channel's status line: pure, so it can be tested from tables.
#pragma once

// The states of the remote channel, as its status line names them.
enum remote_phase { remote_none, remote_pending, remote_accepted, remote_other };
int remote_phase_of(const char *state);
// Takes state and id from an answered status line into the buffers; the technician's name is left in
// *name. 0 when the answer is not a status line.
int read_remote_status(int status, const char *body, char *state, int state_size, char *id, int id_size,
                       const char **name);
