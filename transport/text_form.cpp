// Building URL-encoded forms and JSON members, and reading quoted keys out of the latest answer.
#include "transport.h"
#include "../base/text.h"

static const char upper_hex[] = "0123456789ABCDEF";
static const char lower_hex[] = "0123456789abcdef";

static int unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

void field(char *dst, int size, const char *name, const char *value) {
    if (dst[0]) append(dst, size, "&");
    append(dst, size, name);
    append(dst, size, "=");
    int n = length(dst);
    for (const unsigned char *c = (const unsigned char *)value; *c; c++) {
        // Only while four bytes remain free, so a percent triple is never cut.
        if (n + 3 >= size) break;
        if (unreserved(*c)) {
            dst[n++] = (char)*c;
        } else {
            dst[n++] = '%';
            dst[n++] = upper_hex[*c >> 4];
            dst[n++] = upper_hex[*c & 15];
        }
    }
    if (n < size) dst[n] = 0;
}

void account_json(char *dst, const char *name, const char *value) {
    const int size = 4096;
    if (dst[0]) append(dst, size, ",");
    append(dst, size, "\"");
    append(dst, size, name);
    append(dst, size, "\":\"");
    for (const unsigned char *c = (const unsigned char *)value; *c; c++) {
        char piece[7] = {0};
        if (*c == '"' || *c == '\\') {
            piece[0] = '\\';
            piece[1] = (char)*c;
        } else if (*c < 0x20) {
            piece[0] = '\\';
            piece[1] = 'u';
            piece[2] = '0';
            piece[3] = '0';
            piece[4] = lower_hex[*c >> 4];
            piece[5] = lower_hex[*c & 15];
        } else {
            piece[0] = (char)*c;
        }
        append(dst, size, piece);
    }
    append(dst, size, "\"");
}

void json_number(char *dst, const char *name, int value) {
    char digits[16];
    integer_text(digits, value);
    if (dst[0]) append(dst, 4096, ",");
    append(dst, 4096, "\"");
    append(dst, 4096, name);
    append(dst, 4096, "\":");
    append(dst, 4096, digits);
}

void json_body(char *dst, int size, const char *members) {
    erase_secret(dst, size);
    append(dst, size, "{");
    append(dst, size, members);
    append(dst, size, "}");
}

int account_value(const char *body, const char *key, char *out, int size) {
    const char *at = find(body, key);
    if (!at) return 0;
    at += length(key);
    while (*at == ' ' || *at == '\t' || *at == ':') at++;
    if (*at != '"') return 0;
    at++;
    copy_to(out, size, at, '"');
    int n = length(out);
    return n > 0 && at[n] == '"';
}

int json_int(const char *body, const char *key) {
    const char *at = find(body, key);
    if (!at) return 0;
    at += length(key);
    while (*at == ' ' || *at == ':') at++;
    return (int)decimal(&at, 99999999);
}
