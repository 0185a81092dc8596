// The request layer every server exchange goes through, and the form and JSON text helpers.
#pragma once

// Body of the latest answer, always terminated: at most 524,287 bytes of body.
enum { response_size = 524288 };
extern char response[response_size];

int http_payload(const wchar_t *path, const void *body, unsigned body_length, const wchar_t *headers,
                 int request_class);
int http(const wchar_t *path, const char *form);
// Zeroes the latest answer, for callers whose answer held a secret.
void forget_answer();

void field(char *dst, int size, const char *name, const char *value);
void account_json(char *dst, const char *name, const char *value);
int account_value(const char *key, char *out, int size);
int json_int(const char *key);
