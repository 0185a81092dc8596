// Reading the remote channel's answers, the status line and the technician's command lines: pure, so
// they can be tested from tables.
#include "answer.h"
#include "../base/text.h"

static const char banner_line[] = "HALVOREN-REMOTE/1 ";

int remote_phase_of(const char *state) {
    if (!state[0]) return remote_none;
    if (equal(state, "PENDENTE")) return remote_pending;
    if (equal(state, "ACEITO")) return remote_accepted;
    return remote_other;
}

int read_remote_status(int status, const char *body, char *state, int state_size, char *id, int id_size,
                       const char **name) {
    if (status != 200) return 0;
    for (int i = 0; banner_line[i]; i++)
        if (body[i] != banner_line[i]) return 0;
    const char *at = body + sizeof banner_line - 1;
    const char *space = find(at, " ");
    if (!space) return 0;
    copy_to(state, state_size, at, ' ');
    copy_to(id, id_size, space + 1, '\n');
    const char *line_end = find(body, "\n");
    *name = line_end ? line_end + 1 : "responsável";
    return 1;
}

// Copies one field up to `end` (at most 11 bytes); the byte after it must be `end`. The rest, or null.
static const char *take_field(const char *at, char *dst, char end) {
    copy_to(dst, 12, at, end);
    int n = length(dst);
    return at[n] == end ? at + n + 1 : nullptr;
}

// Leading digits only, stopping once past 65535, so no field can overflow.
static unsigned number(const char *s) { return decimal(&s, 65535); }

int read_command(const char **at, char *verb, unsigned *first, unsigned *second) {
    char one[12], two[12];
    const char *p = *at;
    verb[0] = 0;
    if (!(p = take_field(p, verb, ' ')) || !(p = take_field(p, one, ' ')) || !(p = take_field(p, two, '\n')))
        return 0;
    *first = number(one);
    *second = number(two);
    *at = p;
    return 1;
}
