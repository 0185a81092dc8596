// The remote channel's readers from tables: the status line and the technician's command lines.
#include <doctest/doctest.h>
#include "../../remote/answer.h"
#include <string.h>

TEST_CASE("a status line gives state, id and name only after the banner at the first byte") {
    struct {
        int status;
        const char *body;
        int read;
        const char *state, *id, *name;
    } const rows[] = {
        {200, "HALVOREN-REMOTE/1 PENDENTE p-1", 1, "PENDENTE", "p-1", "responsável"},
        {200, "HALVOREN-REMOTE/1 PENDENTE p-1\n", 1, "PENDENTE", "p-1", ""},
        {200, "HALVOREN-REMOTE/1 ACEITO p-2\r\nAna Lima", 1, "ACEITO", "p-2\r", "Ana Lima"},
        {200, "HALVOREN-REMOTE/1 ACEITO ", 1, "ACEITO", "", "responsável"},
        // A state word cut at 19 bytes, an id at 39.
        {200, "HALVOREN-REMOTE/1 ABCDEFGHIJKLMNOPQRSTU 0123456789012345678901234567890123456789xyz\nB", 1,
         "ABCDEFGHIJKLMNOPQRS", "012345678901234567890123456789012345678", "B"},
        {200, "HALVOREN-REMOTE/1 PENDENTE", 0, "", "", nullptr},
        {200, " HALVOREN-REMOTE/1 PENDENTE p-1", 0, "", "", nullptr},
        {200, "HALVOREN-REMOTE/2 PENDENTE p-1", 0, "", "", nullptr},
        {200, "HALVOREN-REMOTE/1", 0, "", "", nullptr},
        {404, "HALVOREN-REMOTE/1 PENDENTE p-1", 0, "", "", nullptr},
    };
    for (const auto &row : rows) {
        CAPTURE(row.body);
        char state[20] = "", id[40] = "";
        const char *name = nullptr;
        REQUIRE(read_remote_status(row.status, row.body, state, sizeof state, id, sizeof id, &name) == row.read);
        if (!row.read) continue;
        CHECK(strcmp(state, row.state) == 0);
        CHECK(strcmp(id, row.id) == 0);
        CHECK(strcmp(name, row.name) == 0);
    }
    CHECK(remote_phase_of("") == remote_none);
    CHECK(remote_phase_of("PENDENTE") == remote_pending);
    CHECK(remote_phase_of("ACEITO") == remote_accepted);
    CHECK(remote_phase_of("ACEITOS") == remote_other);
}

TEST_CASE("command lines are read one by one up to the first that breaks the format") {
    struct line {
        const char *verb;
        unsigned first, second;
    };
    struct {
        const char *body;
        int count;
        line lines[3];
    } const answers[] = {
        {"", 0, {}},
        {"mover 1 2\n", 1, {{"mover", 1, 2}}},
        // A "\r" before the "\n" ends the second number; the second line follows it.
        {"mover 1 2\r\ntexto 65 0\n", 2, {{"mover", 1, 2}, {"texto", 65, 0}}},
        {"texto 65 0\ntecla 13 0", 1, {{"texto", 65, 0}}},      // the last line without "\n"
        {"texto 65 0\nmover 5\n", 1, {{"texto", 65, 0}}},       // a missing field
        {"texto 65  0\n", 1, {{"texto", 65, 0}}},                 // a second field that starts with a space
        {"abcdefghijk 1 2\n", 1, {{"abcdefghijk", 1, 2}}},      // an 11-byte verb
        {"abcdefghijkl 1 2\nmover 1 1\n", 0, {}},               // a 12-byte verb
        {"mover 12345678901 1\n", 1, {{"mover", 123456, 1}}},
        {"mover 123456789012 1\n", 0, {}},                      // a 12-byte number
        {"mover 1 12345678901x\nmover 1 1\n", 0, {}},
        // Digits are read while the value is at most 65535, so one more at most; signs and letters end them.
        {"texto 99999999999 0\ntexto +5 0\ntecla 00000000013 0\n", 3,
         {{"texto", 99999, 0}, {"texto", 0, 0}, {"tecla", 13, 0}}},
        {"clicar 65536 x12\n", 1, {{"clicar", 65536, 0}}},
        {" 1 2\n", 1, {{"", 1, 2}}},
    };
    for (const auto &a : answers) {
        CAPTURE(a.body);
        const char *at = a.body;
        int n = 0;
        char verb[12];
        unsigned first = 7, second = 7;
        while (*at && read_command(&at, verb, &first, &second)) {
            REQUIRE(n < a.count);
            CHECK(strcmp(verb, a.lines[n].verb) == 0);
            CHECK(first == a.lines[n].first);
            CHECK(second == a.lines[n].second);
            n++;
        }
        CHECK(n == a.count);
    }
}
