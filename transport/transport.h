// The request layer every server exchange goes through, and the form and JSON text helpers. Below the
// features, above base/ only: the caller passes the session token, transport keeps none.
#pragma once

// The request classes choose the redirect and time-out policy of a request.
enum request_class {
    plain_request = 0,    // the session's policy; with a token, the polls' one
    poll_request = 1,     // no redirects, 1.8 s to answer
    purchase_request = 2, // no redirects, 15 s to answer
    sign_in_request = 3,  // no redirects, 6 s to answer
};

// Body of the latest answer, always terminated: at most 524,287 bytes of body.
enum { response_size = 524288 };
extern char response[response_size];

// The connection to the support server: opened once at start-up (null when WinHTTP could not be
// opened) and closed at exit.
extern void *connection;
void open_transport(const wchar_t *host);
void close_transport();

// Every request: the status (0 for no answer), the body in `response`. With a token, the request
// carries it as its bearer.
int http_payload(const wchar_t *path, const void *body, unsigned body_length, const wchar_t *headers,
                 int request_class, const char *token);
// 1 when the latest request found no secure connection because the server's certificate was outside
// its dates, as it is to a computer whose clock is wrong.
int certificate_out_of_date();
// A form POST, or a plain GET without one.
int http(const wchar_t *path, const char *form, const char *token);
// A JSON POST.
int http_json(const wchar_t *path, const char *body, int request_class, const char *token);
// Zeroes the latest answer, for callers whose answer held a secret.
void forget_answer();

void field(char *dst, int size, const char *name, const char *value);
void account_json(char *dst, const char *name, const char *value);
// Appends the member "name":value (a number) to a 4096-byte member list.
void json_number(char *dst, const char *name, int value);
// {members} into dst, zeroed first.
void json_body(char *dst, int size, const char *members);
// Readers of an answer's body: the quoted value, or the number, after the first occurrence of a key.
int account_value(const char *body, const char *key, char *out, int size);
int json_int(const char *body, const char *key);
