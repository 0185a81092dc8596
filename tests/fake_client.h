// The C++ tests' side of the fake server's control API (/__fake/ on https://localhost).
#pragma once

// Standard base64 of n bytes into out (4 characters per 3 bytes, terminated).
void fake_base64(const unsigned char *in, int n, char *out);
// Drops every script and the request log.
void fake_reset();
// One answer for method and path: used `count` times (0: until replaced). `headers` is a JSON array of
// [name, value] pairs, e.g. "[[\"Location\", \"/x\"]]".
void fake_script(const char *method, const char *path, int status, const char *headers, const void *body,
                 int body_length, int delay_ms = 0, int close = 0, int count = 0);
// The same for a body given as text (or as n bytes), sent with that content type (none when null).
void script(const char *method, const char *path, int status, const char *body, int n = -1,
            const char *type = "application/json", int count = 0, int delay_ms = 0, int close = 0);
// The latest logged request as raw bytes (request line, headers, blank line, body); its length, or -1.
int fake_last(char *out, int size);
// Every logged request in arrival order, each as fake_last gives it; the length, or -1.
int fake_log(char *out, int size);
// How many requests the server logged since the last reset.
int fake_count();
// Registers one answer given as the server's own JSON script object (for the fault fields).
int fake_script_json(const char *json);
// New TLS handshakes get the named certificate ("good", "wrong_host", "self_signed", "expired"); the
// control connection stays up. 1 when the server took it.
int fake_tls(const char *cert, int ms = 20000);
// What the CONNECT proxy beside the server was asked since the last reset ("CONNECT host:port\n" each);
// the length, or -1. And whether it tunnels ("tunnel") or asks for credentials ("auth"); 1 when taken.
int fake_proxy_log(char *out, int size);
int fake_proxy(const char *mode);
