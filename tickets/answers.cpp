// Reading the queue's answer (ids, balance, position, the state names and the start time) and the
// presence's.
#include "answers.h"
#include "../base/text.h"
#include "../transport/transport.h"

// Seconds east of UTC of the zone after a time ("+02:00", "-0300", "-03"); 0 for "Z", none or a
// malformed one.
static long long zone_offset(const char *p) {
    if (*p == '.') {
        p++;
        while (*p >= '0' && *p <= '9') p++;
    }
    if (*p != '+' && *p != '-') return 0;
    int hours = fixed_digits(p + 1, 2);
    // Minutes only after two digits of hours: an answer may end right after the sign or one digit.
    if (hours < 0 || hours > 23) return 0;
    const char *m = p[3] == ':' ? p + 4 : p + 3;
    int minutes = *m >= '0' && *m <= '9' ? fixed_digits(m, 2) : 0;
    if (minutes < 0 || minutes > 59) return 0;
    long long seconds = (hours * 60 + minutes) * 60;
    return *p == '-' ? -seconds : seconds;
}

static int leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days from 1601-01-01 to the given date of the proleptic Gregorian calendar.
static long long days_since_1601(int year, int month, int day) {
    static const int before_month[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    long long y = year - 1601;
    long long days = y * 365 + y / 4 - y / 100 + y / 400;
    return days + before_month[month - 1] + (month > 2 && leap(year)) + day - 1;
}

unsigned long long ticket_start(const char *body, const char *key) {
    const char *p = find(body, key);
    if (!p) return 0;
    p += length(key);
    while (*p == ' ' || *p == ':') p++;
    if (*p != '"') return 0;
    p++;
    // YYYY-MM-DDTHH:MM:SS, then perhaps a fraction and a zone; without an offset it reads as UTC.
    static const char separators[] = "--T::";
    static const int places[6] = {0, 5, 8, 11, 14, 17};
    static const int widths[6] = {4, 2, 2, 2, 2, 2};
    int part[6];
    for (int i = 0; i < 6; i++) {
        if (i > 0 && p[places[i] - 1] != separators[i - 1]) return 0;
        part[i] = fixed_digits(p + places[i], widths[i]);
        if (part[i] < 0) return 0;
    }
    static const int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = part[0], month = part[1], day = part[2];
    // An impossible day (Feb 30) is refused, not rolled into the next month.
    if (year < 1601 || month < 1 || month > 12 || day < 1 ||
        day > month_days[month - 1] + (month == 2 && leap(year)) || part[3] > 23 || part[4] > 59 || part[5] > 59)
        return 0;
    long long seconds = days_since_1601(year, month, day) * 86400 + part[3] * 3600 + part[4] * 60 + part[5];
    return (unsigned long long)(seconds - zone_offset(p + 19)) * 10000000ull;
}

queue_reading read_queue(int status, const char *body) {
    queue_reading q = {};
    if (status != 200) return q;
    q.ok = 1;
    q.ticket = json_int(body, "\"id\"");
    q.balance = json_int(body, "\"saldo\"");
    q.waiting = find(body, "\"AGUARDANDO\"") != nullptr;
    q.in_service = find(body, "\"EM_ATENDIMENTO\"") != nullptr;
    q.completed = find(body, "\"CONCLUIDO\"") != nullptr;
    q.cancelled = find(body, "\"CANCELADO\"") != nullptr;
    if (q.waiting) q.position = json_int(body, "\"posicao\"");
    const char *key = q.in_service ? "\"chamado_em\"" : q.waiting ? "\"criado_em\"" : nullptr;
    if (key) q.start = ticket_start(body, key);
    return q;
}

int read_presence(int status, const char *body) {
    if (status != 200 || !find(body, "\"online\"")) return -1;
    return json_int(body, "\"online\"") != 0;
}
