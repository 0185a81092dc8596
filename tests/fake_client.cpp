// The C++ tests' side of the fake server's control API, over WinHTTP on a session of its own.
#include "fake_client.h"
#include <windows.h>
#include <winhttp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int control(const wchar_t *verb, const wchar_t *path, const char *body, int body_length, char *out,
                   int size) {
    static HINTERNET session, link;
    if (!session) {
        session = WinHttpOpen(L"fake-control", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
        // By address, not by name: Wine pools connections per host across sessions, and the program's
        // requests must never ride on the control connection (a TLS fault has to hit their handshake).
        link = WinHttpConnect(session, L"127.0.0.1", 443, 0);
    }
    HINTERNET r = WinHttpOpenRequest(link, verb, path, nullptr, nullptr, nullptr, WINHTTP_FLAG_SECURE);
    if (!r) return -1;
    // Only this test-side control client relaxes validation, so it can always lift a TLS fault.
    DWORD relaxed = SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                    SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    WinHttpSetOption(r, WINHTTP_OPTION_SECURITY_FLAGS, &relaxed, sizeof relaxed);
    int got = -1;
    if (WinHttpSendRequest(r, L"Content-Type: application/json\r\n", (DWORD)-1, (void *)body, body_length,
                           body_length, 0) &&
        WinHttpReceiveResponse(r, nullptr)) {
        DWORD status = 0, n = sizeof status;
        WinHttpQueryHeaders(r, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &status, &n, nullptr);
        got = 0;
        DWORD read = 0;
        while (out && got < size - 1 && WinHttpReadData(r, out + got, size - 1 - got, &read) && read) got += read;
        if (out) out[got] = 0;
        if (status != 200) got = -1;
    }
    WinHttpCloseHandle(r);
    return got;
}

void fake_base64(const unsigned char *in, int n, char *out) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    int o = 0;
    for (int i = 0; i < n; i += 3) {
        unsigned v = in[i] << 16 | (i + 1 < n ? in[i + 1] << 8 : 0) | (i + 2 < n ? in[i + 2] : 0);
        out[o++] = digits[v >> 18 & 63];
        out[o++] = digits[v >> 12 & 63];
        out[o++] = i + 1 < n ? digits[v >> 6 & 63] : '=';
        out[o++] = i + 2 < n ? digits[v & 63] : '=';
    }
    out[o] = 0;
}

void fake_reset() { control(L"POST", L"/__fake/reset", "", 0, nullptr, 0); }

void fake_script(const char *method, const char *path, int status, const char *headers, const void *body,
                 int body_length, int delay_ms, int close, int count) {
    int size = body_length / 3 * 4 + 4096 + (int)strlen(path) + (int)strlen(headers);
    char *json = (char *)malloc(size);
    char *encoded = (char *)malloc(body_length / 3 * 4 + 8);
    fake_base64((const unsigned char *)body, body_length, encoded);
    char counted[32] = "null";
    if (count) snprintf(counted, sizeof counted, "%d", count);
    int n = snprintf(json, size,
                     "{\"method\":\"%s\",\"path\":\"%s\",\"status\":%d,\"headers\":%s,\"body_b64\":\"%s\","
                     "\"delay_ms\":%d,\"close\":%s,\"count\":%s}",
                     method, path, status, headers, encoded, delay_ms, close ? "true" : "false", counted);
    control(L"POST", L"/__fake/script", json, n, nullptr, 0);
    free(encoded);
    free(json);
}

void script(const char *method, const char *path, int status, const char *body, int n, const char *type,
            int count, int delay_ms, int close) {
    char headers[128] = "[]";
    if (type) snprintf(headers, sizeof headers, "[[\"Content-Type\", \"%s\"]]", type);
    fake_script(method, path, status, headers, body, n < 0 ? (int)strlen(body) : n, delay_ms, close, count);
}

int fake_last(char *out, int size) { return control(L"GET", L"/__fake/last", "", 0, out, size); }

int fake_log(char *out, int size) { return control(L"GET", L"/__fake/raw", "", 0, out, size); }

int fake_count() {
    char b[32];
    if (control(L"GET", L"/__fake/count", "", 0, b, sizeof b) < 0) return -1;
    return atoi(b);
}

int fake_script_json(const char *json) {
    return control(L"POST", L"/__fake/script", json, (int)strlen(json), nullptr, 0) >= 0;
}

int fake_tls(const char *cert, int ms) {
    char json[128];
    int n = snprintf(json, sizeof json, "{\"cert\":\"%s\",\"ms\":%d}", cert, ms);
    return control(L"POST", L"/__fake/tls", json, n, nullptr, 0) >= 0;
}

int fake_proxy_log(char *out, int size) { return control(L"GET", L"/__fake/proxy", "", 0, out, size); }

int fake_proxy(const char *mode) {
    char json[64];
    int n = snprintf(json, sizeof json, "{\"mode\":\"%s\"}", mode);
    return control(L"POST", L"/__fake/proxy", json, n, nullptr, 0) >= 0;
}
