// Reading the remote channel's status line: pure, so it can be tested from tables.
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
