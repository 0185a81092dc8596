// The readers of the server's answers, from tables.
#include <doctest/doctest.h>
#include "../../tickets/answers.h"
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace {

// A UTC time as a FILETIME count, through the C library's own calendar.
unsigned long long file_time(int y, int mo, int d, int h, int mi, int s) {
    struct tm t = {};
    t.tm_year = y - 1900, t.tm_mon = mo - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi, t.tm_sec = s;
    return (unsigned long long)timegm(&t) * 10000000ull + 116444736000000000ull;
}

} // namespace

TEST_CASE("timestamps are read from nineteen exact characters, as UTC unless an offset follows") {
    struct { const char *text; unsigned long long expected; } cases[] = {
        {"{\"criado_em\":\"2024-05-01T12:00:00-03:00\"}", file_time(2024, 5, 1, 15, 0, 0)},
        {"{\"criado_em\":\"2024-05-01T12:00:00.250+05:30\"}", file_time(2024, 5, 1, 6, 30, 0)},
        {"{\"criado_em\":\"2024-12-31T23:00:00-0300\"}", file_time(2025, 1, 1, 2, 0, 0)},
        {"{\"criado_em\":\"2024-05-01T01:00:00+02\"}", file_time(2024, 4, 30, 23, 0, 0)},
        {"{\"criado_em\":\"2024-05-01T12:00:00+5:00\"}", file_time(2024, 5, 1, 12, 0, 0)},
        {"{\"criado_em\":\"2024-05-01T12:00:00+24:00\"}", file_time(2024, 5, 1, 12, 0, 0)},
        {"{\"criado_em\" : \"1999-12-31T23:59:59\"}", file_time(1999, 12, 31, 23, 59, 59)},
        {"{\"criado_em\":\"2024-02-29T00:00:00.5Z\"}", file_time(2024, 2, 29, 0, 0, 0)},
        {"{\"criado_em\":2024}", 0},
        {"{\"criado_em\":\"2024-05-01 12:00:00\"}", 0},
        {"{\"criado_em\":\"2024-05-01T12:0a:00\"}", 0},
        {"{\"criado_em\":\"2024-13-01T12:00:00\"}", 0},
        {"{\"criado_em\":\"2023-02-29T12:00:00\"}", 0},
        {"{\"criado_em\":\"2024-05-01T12:00\"}", 0},
        // Every field at its last value and one past it.
        {"{\"criado_em\":\"1601-01-01T00:00:01\"}", file_time(1601, 1, 1, 0, 0, 1)},
        {"{\"criado_em\":\"1600-12-31T23:59:59\"}", 0},
        {"{\"criado_em\":\"2024-12-31T23:59:59\"}", file_time(2024, 12, 31, 23, 59, 59)},
        {"{\"criado_em\":\"2024-00-10T12:00:00\"}", 0},
        {"{\"criado_em\":\"2024-01-00T12:00:00\"}", 0},
        {"{\"criado_em\":\"2024-01-31T12:00:00\"}", file_time(2024, 1, 31, 12, 0, 0)},
        {"{\"criado_em\":\"2024-01-32T12:00:00\"}", 0},
        {"{\"criado_em\":\"2024-04-30T12:00:00\"}", file_time(2024, 4, 30, 12, 0, 0)},
        {"{\"criado_em\":\"2024-04-31T12:00:00\"}", 0},
        {"{\"criado_em\":\"2024-02-30T12:00:00\"}", 0},
        {"{\"criado_em\":\"2023-02-28T12:00:00\"}", file_time(2023, 2, 28, 12, 0, 0)},
        {"{\"criado_em\":\"2024-05-01T24:00:00\"}", 0},
        {"{\"criado_em\":\"2024-05-01T12:60:00\"}", 0},
        {"{\"criado_em\":\"2024-05-01T12:00:60\"}", 0},
        {"{\"criado_em\":\"2024-05-01T12:00:00+23:59\"}", file_time(2024, 4, 30, 12, 1, 0)},
        {"{\"criado_em\":\"2024-05-01T12:00:00-23:59\"}", file_time(2024, 5, 2, 11, 59, 0)},
        {"{\"criado_em\":\"2024-05-01T12:00:00+01:60\"}", file_time(2024, 5, 1, 12, 0, 0)},
        {"{\"outro\":\"2024-05-01T12:00:00\"}", 0},
        // An answer that ends inside its offset, which is then read as far as it goes.
        {"{\"criado_em\":\"2024-05-01T12:00:00+", file_time(2024, 5, 1, 12, 0, 0)},
        {"{\"criado_em\":\"2024-05-01T12:00:00-1", file_time(2024, 5, 1, 12, 0, 0)},
        {"{\"criado_em\":\"2024-05-01T12:00:00+01:", file_time(2024, 5, 1, 11, 0, 0)},
        {"{\"criado_em\":\"2024-05-01T12:00:00.", file_time(2024, 5, 1, 12, 0, 0)},
    };
    for (auto &c : cases) {
        CAPTURE(c.text);
        // Exactly as long as the text, so that the sanitizers see a read past its end.
        char *body = strdup(c.text);
        CHECK(ticket_start(body, "\"criado_em\"") == c.expected);
        free(body);
    }
}
