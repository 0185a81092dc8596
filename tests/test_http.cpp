// The request layer against the fake server, through Wine's real WinHTTP and TLS validation.
#include "harness.h"
#include "gdi_count.h"
#include "../chat/chat.h"
#include "../remote/remote.h"
#include <winhttp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Starts the window (which opens the connection), then forgets the start-up presence request.
void fresh() {
    ensure_started();
    account_token[0] = 0;
    fake_reset();
}

// The value of a header in the latest request, or null.
const char *header(const char *name, char *out, int size) {
    char line[128];
    snprintf(line, sizeof line, "\r\n%s: ", name);
    const char *at = strstr(sent, line);
    const char *end_of_head = strstr(sent, "\r\n\r\n");
    if (!at || at > end_of_head) return nullptr;
    at += strlen(line);
    int n = 0;
    while (at[n] != '\r' && n < size - 1) {
        out[n] = at[n];
        n++;
    }
    out[n] = 0;
    return out;
}

int count_of(const char *text, const char *sought) {
    int n = 0;
    for (const char *at = strstr(text, sought); at; at = strstr(at + 1, sought)) n++;
    return n;
}

} // namespace

TEST_CASE("a GET has no body, no accept types and no bearer line before sign-in") {
    fresh();
    fake_script("GET", "/suporte/teste?a=1&b=2", 200, "[[\"Content-Type\", \"application/json\"]]", "{\"x\":1}", 7);
    CHECK(http(L"/suporte/teste?a=1&b=2", nullptr, account_token) == 200);
    CHECK(strcmp(response, "{\"x\":1}") == 0);
    sent_body();
    CHECK(strncmp(sent, "GET /suporte/teste?a=1&b=2\r\n", 28) == 0);
    char v[128];
    CHECK(header("Authorization", v, sizeof v) == nullptr);
    CHECK(header("Accept", v, sizeof v) == nullptr);
    CHECK(header("Content-Type", v, sizeof v) == nullptr);
    REQUIRE(header("User-Agent", v, sizeof v) != nullptr);
    CHECK(strcmp(v, "Halvoren Zivavoz Windows") == 0);
    CHECK(*sent_body() == 0);
}

TEST_CASE("a POST sends the form whole with its content type and an empty body is still a POST") {
    fresh();
    fake_script("POST", "/suporte/api/chat/cliente", 201, "[]", "", 0);
    CHECK(http(L"/suporte/api/chat/cliente", "csrf=abc&chamado=7&mensagem=Ol%C3%A1", account_token) == 201);
    sent_body();
    CHECK(strncmp(sent, "POST /suporte/api/chat/cliente\r\n", 32) == 0);
    char v[128];
    REQUIRE(header("Content-Type", v, sizeof v));
    CHECK(strcmp(v, "application/x-www-form-urlencoded") == 0);
    REQUIRE(header("Content-Length", v, sizeof v));
    CHECK(strcmp(v, "36") == 0);
    CHECK(strcmp(sent_body(), "csrf=abc&chamado=7&mensagem=Ol%C3%A1") == 0);

    fake_script("POST", "/vazio", 200, "[]", "ok", 2);
    CHECK(http_payload(L"/vazio", "", 0, L"Content-Type: application/json\r\n", 1, account_token) == 200);
    sent_body();
    CHECK(strncmp(sent, "POST /vazio\r\n", 13) == 0);
    REQUIRE(header("Content-Length", v, sizeof v));
    CHECK(strcmp(v, "0") == 0);
    // A GET may carry the caller's headers too.
    CHECK(http_payload(L"/suporte/avulso/api/conta/atendimento", nullptr, 0, L"Content-Type: application/json\r\n",
                       1, account_token) == 404);
    sent_body();
    CHECK(strncmp(sent, "GET ", 4) == 0);
    REQUIRE(header("Content-Type", v, sizeof v));
    CHECK(strcmp(v, "application/json") == 0);
}

TEST_CASE("with a token every request carries one exact bearer line before the caller's headers") {
    fresh();
    strcpy(account_token, "tok-123.abc");
    fake_script("POST", "/p", 200, "[]", "", 0);
    CHECK(http_payload(L"/p", "{}", 2, L"Content-Type: application/json\r\n", 1, account_token) == 200);
    sent_body();
    CHECK(count_of(sent, "\r\nAuthorization: ") == 1);
    CHECK(strstr(sent, "\r\nAuthorization: Bearer tok-123.abc\r\n") != nullptr);
    CHECK(strstr(sent, "\r\nContent-Type: application/json\r\n") != nullptr);
    // The UTF-16 copy of those headers is zero once the request is sent.
    record_sends();
    http_payload(L"/p", "{}", 2, L"Content-Type: application/json\r\n", 1, account_token);
    // Counted before any other call can reuse that stretch of the stack.
    int left = nonzero(handed_headers, 512 * sizeof(wchar_t));
    REQUIRE(handed_headers != nullptr);
    CHECK(left == 0);
    // A class-0 GET after sign-in gets the bearer line as well.
    CHECK(http(L"/q", nullptr, account_token) == 404);
    sent_body();
    CHECK(strstr(sent, "\r\nAuthorization: Bearer tok-123.abc\r\n") != nullptr);
    account_token[0] = 0;
}

TEST_CASE("with a token the header text is cut at 511 units") {
    fresh();
    // 63-byte token: the bearer line takes 22 + 63 + 2 = 87 units, leaving 424 for the caller's text.
    memset(account_token, 't', 63);
    account_token[63] = 0;
    static wchar_t long_header[700];
    wcscpy(long_header, L"X-Longo: ");
    for (int i = 0; i < 600; i++) wcscat(long_header, L"a");
    wcscat(long_header, L"\r\n");
    fake_script("GET", "/cut", 200, "[]", "", 0);
    CHECK(http_payload(L"/cut", nullptr, 0, long_header, 1, account_token) == 200);
    sent_body();
    char v[1024];
    REQUIRE(header("X-Longo", v, sizeof v) != nullptr);
    CHECK(strlen(v) == 424 - 9);
    // The frame upload's longest header still fits whole.
    fake_reset();
    fake_script("POST", "/frame", 200, "[]", "", 0);
    static wchar_t frame_header[260];
    wcscpy(frame_header, L"Content-Type: application/octet-stream\r\nX-CSRF-Token: ");
    for (int i = 0; i < 63; i++) wcscat(frame_header, L"t");
    wcscat(frame_header, L"\r\n");
    CHECK(http_payload(L"/frame", "x", 1, frame_header, 1, account_token) == 200);
    sent_body();
    REQUIRE(header("X-CSRF-Token", v, sizeof v) != nullptr);
    CHECK(strlen(v) == 63);
    account_token[0] = 0;
}

TEST_CASE("a redirect is returned as it came and never followed for classes 1 to 3") {
    fresh();
    fake_script("GET", "/volta", 302, "[[\"Location\", \"https://localhost/destino\"]]", "movido", 6);
    fake_script("GET", "/destino", 200, "[]", "destino", 7);
    for (int request_class = 1; request_class <= 3; request_class++) {
        CAPTURE(request_class);
        CHECK(http_payload(L"/volta", nullptr, 0, nullptr, request_class, account_token) == 302);
        CHECK(strcmp(response, "movido") == 0);
    }
    CHECK(fake_count() == 3);
    // Without a token, class 0 leaves the platform's redirect handling in place.
    CHECK(http_payload(L"/volta", nullptr, 0, nullptr, 0, account_token) == 200);
    CHECK(strcmp(response, "destino") == 0);
    // With one, class 0 takes the polls' policy: the redirect comes back as it came.
    CHECK(http(L"/volta", nullptr, "tok-1") == 302);
    CHECK(strcmp(response, "movido") == 0);
}

TEST_CASE("error statuses come back with their bodies; a dropped or cut answer gives 0 and leaves nothing") {
    fresh();
    static const char zeros[64] = {};
    fake_script("POST", "/erro", 500, "[]", "falhou", 6);
    CHECK(http_payload(L"/erro", "{}", 2, nullptr, 1, account_token) == 500);
    CHECK(strcmp(response, "falhou") == 0);
    fake_script("GET", "/cai", 200, "[]", "nunca", 5, 0, 1);
    CHECK(http_payload(L"/cai", nullptr, 0, nullptr, 1, account_token) == 0);
    CHECK(memcmp(response, zeros, 7) == 0);
    // A shorter answer leaves no tail of the longer one before it.
    fake_script("GET", "/longo", 200, "[]", "0123456789-segredo-do-anterior", 30);
    CHECK(http_payload(L"/longo", nullptr, 0, nullptr, 1, account_token) == 200);
    fake_script("GET", "/curto", 200, "[]", "ok", 2);
    CHECK(http_payload(L"/curto", nullptr, 0, nullptr, 1, account_token) == 200);
    CHECK(memcmp(response, "ok\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 32) == 0);
    // A body that stops before its announced length, or a connection reset part-way, is no answer.
    fake_script("GET", "/cortado", 200, "[[\"Content-Length\", \"100\"]]", "0123456789-e-mais-nada", 22);
    CHECK(http_payload(L"/cortado", nullptr, 0, nullptr, 1, account_token) == 0);
    CHECK(memcmp(response, zeros, 40) == 0);
    REQUIRE(fake_script_json("{\"method\":\"GET\",\"path\":\"/rst\",\"status\":200,\"body\":\"0123456789abcdefghijklmnopqrstuvwxyz\","
                             "\"reset\":\"body\"}"));
    CHECK(http_payload(L"/rst", nullptr, 0, nullptr, 1, account_token) == 0);
    CHECK(memcmp(response, zeros, 40) == 0);
}

TEST_CASE("a delay beyond the class-1 receive time-out gives 0 while class 2 waits for the answer") {
    fresh();
    fake_script("GET", "/lento", 200, "[]", "tarde", 5, 2600);
    DWORD start = GetTickCount();
    CHECK(http_payload(L"/lento", nullptr, 0, nullptr, 1, account_token) == 0);
    DWORD class1 = GetTickCount() - start;
    CHECK(response[0] == 0);
    start = GetTickCount();
    CHECK(http_payload(L"/lento", nullptr, 0, nullptr, 2, account_token) == 200);
    DWORD class2 = GetTickCount() - start;
    CHECK(strcmp(response, "tarde") == 0);
    MESSAGE("class 1 gave up after ", class1, " ms; class 2 answered after ", class2, " ms");
}

TEST_CASE("before sign-in a class-0 request is bounded by the session's receive time-out") {
    fresh();
    fake_script("GET", "/mudo", 200, "[]", "tarde", 5, 7000);
    DWORD start = GetTickCount();
    CHECK(http(L"/mudo", nullptr, account_token) == 0);
    MESSAGE("class 0 gave up after ", GetTickCount() - start, " ms");
}

TEST_CASE("without a connection every call gives 0 and leaves the previous answer") {
    fresh();
    void *kept = connection;
    connection = nullptr;
    strcpy(response, "anterior");
    CHECK(http(L"/x", nullptr, account_token) == 0);
    CHECK(http(L"/x", "a=1", account_token) == 0);
    CHECK(strcmp(response, "anterior") == 0);
    connection = kept;
}

TEST_CASE("the body is kept up to 524287 bytes and NUL bytes are stored as they came") {
    fresh();
    static char big[524289];
    for (int i = 0; i < 524288; i++) big[i] = (char)('a' + i % 26);
    fake_script("GET", "/cheio", 200, "[]", big, 524287);
    memset(response, 'x', sizeof response);
    CHECK(http(L"/cheio", nullptr, account_token) == 200);
    CHECK(memcmp(response, big, 524287) == 0);
    CHECK(response[524287] == 0);

    fake_script("GET", "/demais", 200, "[]", big, 524288);
    memset(response, 'x', sizeof response);
    CHECK(http(L"/demais", nullptr, account_token) == 200);
    CHECK(memcmp(response, big, 524287) == 0);
    CHECK(response[524287] == 0);

    fake_script("GET", "/nul", 200, "[]", "ab\0cd", 5);
    CHECK(http(L"/nul", nullptr, account_token) == 200);
    CHECK(memcmp(response, "ab\0cd", 6) == 0);
    CHECK(length(response) == 2);
}

namespace {

// The proxy the customer set in Windows' settings, as Windows keeps it for the current user (the
// binary connection settings WinHTTP reads, and the two values the browser settings mirror), held
// for one test only: the previous values come back when it ends, however it ends.
struct user_proxy_setting {
    HKEY key = nullptr, connections = nullptr;
    BYTE old_settings[1024];
    DWORD old_size = sizeof old_settings, old_enable = 0, enable_size = sizeof old_enable;
    wchar_t old_server[256];
    DWORD server_size = sizeof old_server;
    bool had_settings = false, had_enable = false, had_server = false;

    explicit user_proxy_setting(const char *proxy) {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                        nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegCreateKeyExW(key, L"Connections", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &connections, nullptr);
        REQUIRE((key && connections));
        had_settings = !RegQueryValueExW(connections, L"DefaultConnectionSettings", nullptr, nullptr, old_settings,
                                         &old_size);
        had_enable = !RegQueryValueExW(key, L"ProxyEnable", nullptr, nullptr, (BYTE *)&old_enable, &enable_size);
        had_server = !RegQueryValueExW(key, L"ProxyServer", nullptr, nullptr, (BYTE *)old_server, &server_size);
        // Version, change counter, flags (direct | named proxy), then the proxy, the bypass list and the
        // script address, each as a length and its bytes, and the zeros Windows leaves after them.
        BYTE blob[128] = {};
        DWORD n = (DWORD)strlen(proxy), head[4] = {0x46, 1, 3, n};
        memcpy(blob, head, sizeof head);
        memcpy(blob + sizeof head, proxy, n);
        DWORD size = (DWORD)sizeof head + n + 8 + 32;
        RegSetValueExW(connections, L"DefaultConnectionSettings", 0, REG_BINARY, blob, size);
        DWORD on = 1;
        RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, (BYTE *)&on, sizeof on);
        wchar_t wide[64];
        swprintf(wide, 64, L"%hs", proxy);
        RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, (BYTE *)wide, (DWORD)(wcslen(wide) + 1) * 2);
    }
    ~user_proxy_setting() {
        if (had_settings)
            RegSetValueExW(connections, L"DefaultConnectionSettings", 0, REG_BINARY, old_settings, old_size);
        else
            RegDeleteValueW(connections, L"DefaultConnectionSettings");
        if (had_enable)
            RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, (BYTE *)&old_enable, sizeof old_enable);
        else
            RegDeleteValueW(key, L"ProxyEnable");
        if (had_server)
            RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, (BYTE *)old_server, server_size);
        else
            RegDeleteValueW(key, L"ProxyServer");
        RegCloseKey(connections);
        RegCloseKey(key);
    }
};

// A sign-in, the queue poll it starts, a chat message and the presence poll, as the server logs them.
char attendance_log[20000];
void attendance() {
    sign_in("{\"id\":5,\"saldo\":2,\"estado\":\"AGUARDANDO\",\"posicao\":1}");
    script("POST", "/suporte/api/chat/cliente", 201, "{}");
    CHECK(http(L"/suporte/api/chat/cliente", "csrf=tok-1&chamado=5&mensagem=oi", account_token) == 201);
    CHECK(http_payload(L"/suporte/avulso/api/presenca", nullptr, 0, nullptr, poll_request, account_token) == 200);
    snprintf(attendance_log, sizeof attendance_log, "%s", request_log());
}

// Drops every connection the program holds open, so the next request connects anew.
void reconnect() {
    REQUIRE(fake_tls("good"));
}

} // namespace

TEST_CASE("requests go through the customer's own proxy, and a proxy wanting credentials is no answer") {
    ensure_started();
    char direct[20000], proxy_log[1000];
    // With no proxy set the requests go straight to the server.
    attendance();
    snprintf(direct, sizeof direct, "%s", attendance_log);
    REQUIRE(fake_proxy_log(proxy_log, sizeof proxy_log) >= 0);
    CHECK(proxy_log[0] == 0);
    account_token[0] = csrf[0] = 0;
    logged = 0;
    user_proxy_setting setting("127.0.0.1:3128");
    close_transport();
    open_transport(L"localhost");
    reconnect();
    // Through the proxy the server sees the very same requests.
    attendance();
    CHECK(strcmp(attendance_log, direct) == 0);
    REQUIRE(fake_proxy_log(proxy_log, sizeof proxy_log) > 0);
    CHECK(strncmp(proxy_log, "CONNECT localhost:443\n", 22) == 0);
    // A proxy that asks for credentials: nothing reaches the server, and sign-in says it could not connect.
    account_token[0] = csrf[0] = 0;
    logged = 0;
    reconnect();
    fake_reset();
    REQUIRE(fake_proxy("auth"));
    CHECK(http_payload(L"/suporte/avulso/api/presenca", nullptr, 0, nullptr, poll_request, account_token) == 0);
    CHECK(response[0] == 0);
    enter_stage(0);
    fill(L"ana@exemplo.com", L"segredo1");
    submit();
    CHECK(box_says(L"Não foi possível conectar ao servidor de contas. Aguarde um momento e tente novamente."));
    CHECK((fake_count() == 0 && !logged));
    REQUIRE(fake_proxy_log(proxy_log, sizeof proxy_log) > 0);
    CHECK(strncmp(proxy_log, "CONNECT localhost:443\n", 22) == 0);
    // A proxy that takes the Windows sign-in. Windows hands its 407 to the program, which asks once
    // more with the customer's logon, and the proxy tunnels that; Wine fails the refused CONNECT
    // itself, so there the request goes no further than the first CONNECT and nothing is asked.
    reconnect();
    fake_reset();
    REQUIRE(fake_proxy("windows"));
    int signed_in = http_payload(L"/suporte/avulso/api/presenca", nullptr, 0, nullptr, poll_request, account_token);
    REQUIRE(fake_proxy_log(proxy_log, sizeof proxy_log) > 0);
    if (signed_in)
        CHECK((strstr(proxy_log, "CONNECT localhost:443 Negotiate\n") || strstr(proxy_log, "CONNECT localhost:443 NTLM\n")));
    else
        CHECK(strcmp(proxy_log, "CONNECT localhost:443\n") == 0);
    // Windows hands the proxy's 407 to the program as the answer's status (Wine fails the send
    // instead): without a sign-in it can give, it is no answer from the server either, whoever sends it.
    REQUIRE(fake_proxy("tunnel"));
    script("GET", "/suporte/avulso/api/presenca", 407, "{\"online\":1}");
    script("POST", "/suporte/avulso/api/conta/login", 407, "{\"token\":\"t\"}");
    CHECK(http_payload(L"/suporte/avulso/api/presenca", nullptr, 0, nullptr, poll_request, account_token) == 0);
    CHECK(response[0] == 0);
    submit();
    CHECK(box_says(L"Não foi possível conectar ao servidor de contas. Aguarde um momento e tente novamente."));
    CHECK(!logged);
    // One that takes the Windows sign-in answers the request sent once more through the same proxy.
    fake_reset();
    reconnect();
    fake_script("GET", "/suporte/avulso/api/presenca", 407, "[[\"Proxy-Authenticate\", \"NTLM\"]]", "", 0, 0, 0, 1);
    script("GET", "/suporte/avulso/api/presenca", 200, "{\"online\":1}");
    CHECK(http_payload(L"/suporte/avulso/api/presenca", nullptr, 0, nullptr, poll_request, account_token) == 200);
    CHECK(fake_count() == 2);
    REQUIRE(fake_proxy_log(proxy_log, sizeof proxy_log) > 0);
    CHECK(strncmp(proxy_log, "CONNECT localhost:443\n", 22) == 0);
}

namespace {

// What the program asks WinHTTP for around a proxy's 407, through the import slots: 'P' for the
// automatic logon policy, 'C' for the credentials, in order, and what they carried.
char auth_calls[8];
DWORD logon_policy, credentials_target, credentials_scheme;
HINTERNET policy_request, credentials_request;
bool credentials_named;
decltype(&WinHttpSetOption) real_auth_option;
decltype(&WinHttpSetCredentials) real_credentials;
BOOL WINAPI noted_option(HINTERNET r, DWORD option, void *value, DWORD n) {
    if (option == WINHTTP_OPTION_AUTOLOGON_POLICY) strcat(auth_calls, "P"), logon_policy = *(DWORD *)value, policy_request = r;
    return real_auth_option(r, option, value, n);
}
BOOL WINAPI noted_credentials(HINTERNET r, DWORD target, DWORD scheme, LPCWSTR user, LPCWSTR password, LPVOID p) {
    strcat(auth_calls, "C");
    credentials_request = r, credentials_target = target, credentials_scheme = scheme;
    credentials_named = user || password || p;
    return real_credentials(r, target, scheme, user, password, p);
}

struct proxy_refusal {
    const char *name;
    int status;            // the first answer's
    const char *headers;   // its authentication headers
    int then;              // the answer to a second request (0: the same refusal again)
    int expected;          // what the caller gets
    DWORD scheme;          // the logon the program gave, if any, and with it the request went again
};

const proxy_refusal refusals[] = {
    {"Negotiate and NTLM offered", 407, "[[\"Proxy-Authenticate\", \"Negotiate\"], [\"Proxy-Authenticate\", \"NTLM\"]]",
     200, 200, WINHTTP_AUTH_SCHEME_NEGOTIATE},
    // The request sent again keeps its policy: a redirect comes back as it came.
    {"NTLM alone, then a redirect", 407, "[[\"Proxy-Authenticate\", \"NTLM\"]]", 302, 302, WINHTTP_AUTH_SCHEME_NTLM},
    {"a password asked for", 407, "[[\"Proxy-Authenticate\", \"Basic realm=\\\"escritorio\\\"\"]]", 200, 0, 0},
    {"the logon refused", 407, "[[\"Proxy-Authenticate\", \"NTLM\"]]", 0, 0, WINHTTP_AUTH_SCHEME_NTLM},
    // The support server itself never gets the customer's Windows logon.
    {"the server asking for it", 401, "[[\"WWW-Authenticate\", \"Negotiate\"]]", 200, 401, 0},
};

} // namespace

TEST_CASE("a proxy that takes the Windows sign-in gets the customer's own logon once, and nothing else does") {
    fresh();
    real_auth_option = (decltype(&WinHttpSetOption))swap_import("winhttp.dll", "WinHttpSetOption", (void *)noted_option);
    real_credentials =
        (decltype(&WinHttpSetCredentials))swap_import("winhttp.dll", "WinHttpSetCredentials", (void *)noted_credentials);
    REQUIRE((real_auth_option && real_credentials));
    for (const proxy_refusal &r : refusals) {
        doctest::String name = r.name;
        CAPTURE(name);
        fake_reset();
        fake_script("POST", "/formulario", r.status, r.headers, "recusado", 8, 0, 0, r.then ? 1 : 0);
        if (r.then == 302) {
            fake_script("POST", "/formulario", 302, "[[\"Location\", \"https://localhost/destino\"]]", "movido", 6);
            script("GET", "/destino", 200, "destino");
        } else if (r.then) {
            script("POST", "/formulario", r.then, "aceito");
        }
        auth_calls[0] = 0;
        CHECK(http(L"/formulario", "campo=valor&outro=2", "tok-proxy") == r.expected);
        if (!r.expected) CHECK(response[0] == 0);
        // Given the logon, the request went once more, whole: the bearer line, the caller's headers and
        // the body, as the first time.
        CHECK(strcmp(auth_calls, r.scheme ? "PC" : "") == 0);
        CHECK(fake_count() == (r.scheme ? 2 : 1));
        if (!r.scheme) continue;
        int n = fake_log(requests, sizeof requests);
        CHECK((n > 0 && n % 2 == 0 && memcmp(requests, requests + n / 2, n / 2) == 0));
        CHECK(strstr(requests, "\r\nAuthorization: Bearer tok-proxy\r\n") != nullptr);
        CHECK(strstr(requests, "\r\n\r\ncampo=valor&outro=2") != nullptr);
        // The signed-in user's own logon (no name, no password), for the proxy, on that request.
        CHECK(credentials_scheme == r.scheme);
        CHECK(credentials_target == WINHTTP_AUTH_TARGET_PROXY);
        CHECK(!credentials_named);
        CHECK(logon_policy == WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW);
        CHECK(policy_request == credentials_request);
    }
}

namespace {

// Secrets unlike any other text the tests send, made of characters a form leaves as they are: the
// token, an anti-forgery value apart from it (so each is seen on its own), the password and the code.
const char the_token[] = "tok-Qv7x2Lm", the_csrf[] = "csrf-Wk8y4Pz", the_password[] = "senha-Pm3z9Rt",
           the_code[] = "cod-Hn5t8Jd";
const char remote_poll[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42";

// The redirect policy refused, through WinHttpSetOption's import slot, while failing_policy is set.
int failing_policy;
decltype(&WinHttpSetOption) real_set_option;
BOOL WINAPI policy_refused(HINTERNET h, DWORD option, void *value, DWORD n) {
    if (failing_policy && option == WINHTTP_OPTION_REDIRECT_POLICY) return FALSE;
    return real_set_option(h, option, value, n);
}

void signed_out(int stage) {
    logged = 0;
    account_token[0] = csrf[0] = 0;
    enter_stage(stage);
}

// Signed in with the test's own token and anti-forgery value, in the session view of ticket 42.
void in_session() {
    logged = 1;
    strcpy(account_token, the_token);
    strcpy(csrf, the_csrf);
    chat_ticket = 42;
    chat_live = 1;
    account_waiting = 0;
    account_balance = 3;
}

void sign_in_with(const char *answer) {
    signed_out(0);
    script("POST", "/suporte/avulso/api/conta/login", 200, answer);
    script("GET", "/suporte/avulso/api/conta/atendimento", 200, "{\"id\":0,\"saldo\":1}");
    wchar_t typed[32];
    convert(the_password, typed, 32);
    fill(L"ana@exemplo.com", typed);
}

// Each kind of request as its feature sends it (GET and POST, with and without a token, a form, JSON
// or a frame), prepared first, then run: the account form's through the command, the others as
// routing calls them.
struct request_path {
    const char *name;
    void (*prepare)();
    void (*run)();
    bool sends = true;  // whether the request reaches the server
};

const request_path request_paths[] = {
    {"sign-in", [] { sign_in_with("{\"token\":\"tok-Qv7x2Lm\"}"); }, [] { command(1); }},
    // Refused tokens: with a space, too long, unterminated.
    {"sign-in whose token is refused", [] { sign_in_with("{\"token\":\"tok-Qv7x2Lm x\"}"); },
     [] { submit(); }},
    {"sign-in whose token is too long",
     [] { sign_in_with("{\"token\":\"tok-Qv7x2Lm-0123456789012345678901234567890123456789012345678901234\"}"); },
     [] { submit(); }},
    {"sign-in whose token is cut", [] { sign_in_with("{\"token\":\"tok-Qv7x2Lm"); }, [] { submit(); }},
    {"sign-in repeated after 503",
     [] {
         sign_in_with("{\"token\":\"tok-Qv7x2Lm\"}");
         script("POST", "/suporte/avulso/api/conta/login", 503, "{\"token\":\"tok-Qv7x2Lm\"}", -1,
                "application/json", 1);
     },
     [] { command(1); }},
    {"registration",
     [] {
         signed_out(1);
         script("POST", "/suporte/avulso/api/conta/cadastro", 202, "{\"desafio\":\"ch-9\"}");
         wchar_t typed[32];
         convert(the_password, typed, 32);
         fill(L"ana@exemplo.com", typed);
     },
     [] { command(1); }},
    {"code confirmation",
     [] {
         signed_out(0);
         strcpy(account_challenge, "ch-9");
         enter_stage(2);
         script("POST", "/suporte/avulso/api/conta/cadastro/confirmar", 200, "{}");
         wchar_t typed[32];
         convert(the_code, typed, 32);
         fill(L"", typed);
     },
     [] { submit(); }},
    {"queue poll", [] { in_session(); }, [] { account_queue_refresh(account_token); }},
    {"presence", [] { in_session(); }, [] { refresh_support_presence(account_token); }},
    {"support request",
     [] {
         in_session();
         chat_ticket = 0;
         script("POST", "/suporte/avulso/api/conta/atendimento", 201, "{\"id\":7}");
     },
     [] { account_queue_action(account_token); }},
    {"cancellation",
     [] {
         in_session();
         account_waiting = 1;
         script("POST", "/suporte/avulso/api/conta/atendimento/cancelar", 200, "{}");
     },
     [] { account_queue_action(account_token); }},
    {"credit purchase",
     [] {
         in_session();
         script("POST", "/suporte/avulso/api/conta/pagamentos", 201, "{\"link\":\"https://outro.example/x\"}");
     },
     [] {
         answer_box(IDOK);
         start_sandbox_checkout(1, account_token);
     }},
    {"closing the ticket",
     [] {
         in_session();
         script("POST", "/suporte/api/finalizar/cliente", 200, "{}");
     },
     [] { disconnect_ticket(42, csrf, account_token); }},
    {"chat poll",
     [] {
         in_session();
         script("GET", "/suporte/api/chat/cliente?formato=texto", 200, "HALVOREN-CHAT/1 42\nTécnico: Olá\n");
     },
     [] { chat_poll(42, account_token); }},
    {"chat message",
     [] {
         in_session();
         script("POST", "/suporte/api/chat/cliente", 201, "{}");
         SetWindowTextW(chat_input, L"oi");
     },
     [] { chat_submit(42, csrf, account_token); }},
    {"remote status poll",
     [] {
         in_session();
         remote_reset();
         script("GET", remote_poll, 200, "HALVOREN-REMOTE/1 PENDENTE p-1\nBia");
     },
     [] { remote_tick(42, csrf, account_token); }},
    // The dialog the poll opened.
    {"remote answer",
     [] {
         in_session();
         script("POST", remote_poll, 200, "OK");
         script("GET", remote_poll, 200, "HALVOREN-REMOTE/1 ACEITO p-1\nBia");
         REQUIRE(consent_window);
     },
     [] { SendMessageW(consent_window, WM_COMMAND, 1, 0); }},
    {"frame upload",
     [] {
         in_session();
         REQUIRE(strcmp(approved, "p-1") == 0);
         strcpy(remote_state, "ACEITO");
         script("POST", "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=p-1", 200, "");
     },
     [] { remote_tick(42, csrf, account_token); }},
    {"ending the remote session", [] { in_session(); }, [] { remote_disconnect(42, csrf, account_token); }},
    {"a request a proxy asks the Windows sign-in for",
     [] {
         in_session();
         fake_script("GET", "/suporte/avulso/api/presenca", 407, "[[\"Proxy-Authenticate\", \"NTLM\"]]", "", 0, 0, 0, 1);
         script("GET", "/suporte/avulso/api/presenca", 200, "{\"online\":1}");
     },
     [] { refresh_support_presence(account_token); }},
    {"a request the server drops",
     [] {
         in_session();
         script("GET", "/suporte/avulso/api/presenca", 200, "", -1, nullptr, 0, 0, 1);
     },
     [] { refresh_support_presence(account_token); }},
    {"a request whose redirect policy cannot be set",
     [] {
         in_session();
         if (!real_set_option)
             real_set_option =
                 (decltype(&WinHttpSetOption))swap_import("winhttp.dll", "WinHttpSetOption", (void *)policy_refused);
         failing_policy = 1;
     },
     [] { refresh_support_presence(account_token); }, false},
};

} // namespace

TEST_CASE("no request path leaves the token, the anti-forgery value or the password behind") {
    ensure_started();
    fake_reset();
    KillTimer(window, queue_timer);
    for (const request_path &p : request_paths) {
        doctest::String path = p.name;
        CAPTURE(path);
        p.prepare();
        // What the stack holds from here on, the path left there.
        clear_stack_below();
        int before = fake_count();
        p.run();
        failing_policy = 0;
        // In the program's data (the answer buffer among it) or on the stack the path used, outside the
        // token's and the anti-forgery value's own buffers.
        CHECK(stray_copies(the_token) == 0);
        CHECK(stray_copies(the_csrf) == 0);
        CHECK(stray_copies(the_password) == 0);
        CHECK(stray_copies(the_code) == 0);
        // A refused token is no token: it is not kept in the token's own buffer either.
        if (!logged) CHECK(account_token[0] == 0);
        CHECK((fake_count() > before) == p.sends);
        KillTimer(window, queue_timer);
    }
    remote_reset();
    account_token[0] = csrf[0] = 0;
}
