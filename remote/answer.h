// Reading the remote channel's answers, the status line and the technician's command lines: pure, so
// they can be tested from tables.
#pragma once

// The states of the remote channel, as its status line names them.
enum remote_phase { remote_none, remote_pending, remote_accepted, remote_other };
int remote_phase_of(const char *state);
// Takes state and id from an answered status line into the buffers; the technician's name is left in
// *name. 0 when the answer is not a status line.
int read_remote_status(int status, const char *body, char *state, int state_size, char *id, int id_size,
                       const char **name);

// One command line of a frame upload's answer ("verb first second\n"): the verb (at most 11 bytes, into
// a 12-byte buffer) and its two numbers, each read from at most 11 bytes of leading digits and kept at
// most 65535 plus one digit. *at is left after the line's "\n". 0 when the line breaks the format
// (a field too long, a space or the line end missing): reading stops there for the whole answer.
int read_command(const char **at, char *verb, unsigned *first, unsigned *second);
