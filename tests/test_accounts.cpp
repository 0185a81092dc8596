// The account form against the fake server: validation, sign-in with its one repeat, registration,
// confirmation, the secrets left behind, and credit purchase.
#include "harness.h"
#include "gdi_count.h"
#include <winhttp.h>
#include <stdio.h>
#include <string.h>

namespace {

const char login_path[] = "/suporte/avulso/api/conta/login";

void fresh() {
    ensure_started();
    fake_reset();
}

// ShellExecuteW recorded instead of run: what the program would have opened.
int browser_opens;
wchar_t opened_file[1100];
HINSTANCE WINAPI record_open(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
    browser_opens++;
    opened_file[0] = 0;
    if (file && wcslen(file) < 1100) wcscpy(opened_file, file);
    return (HINSTANCE)33;
}

} // namespace

TEST_CASE("sign-in posts e-mail and password as JSON and completes with the token") {
    fresh();
    // A long answer, so that what the first queue poll leaves behind it shows whether it was erased.
    script("POST", login_path, 200,
                "{\"token\":\"tok-abc.123\",\"nome\":\"Ana Maria de Souza e Silva\",\"plano\":\"avulso\"}");
    script("GET", "/suporte/avulso/api/conta/atendimento", 200, "{\"id\":0}");
    fill(L"ana@exemplo.com", L"se\"gr\\edo");
    submit();
    CHECK(inside_box::ran == 0);
    REQUIRE(logged == 1);
    // The sign-in, then the first queue poll.
    const char *last = request_log();
    CHECK(strstr(last, "POST /suporte/avulso/api/conta/login\r\n") == last);
    CHECK(strstr(last, "\r\n\r\n{\"email\":\"ana@exemplo.com\",\"senha\":\"se\\\"gr\\\\edo\"}GET /suporte/avulso/api/conta/atendimento\r\n"));
    CHECK(strstr(last, "\r\nContent-Type: application/json\r\n") != nullptr);
    CHECK(strstr(strstr(last, "GET "), "Authorization: Bearer tok-abc.123\r\n") != nullptr);
    CHECK(strcmp(account_token, "tok-abc.123") == 0);
    CHECK(strcmp(csrf, account_token) == 0);
    CHECK(strcmp(response, "{\"id\":0}") == 0);
    CHECK(all_zero(response + 9, response_size - 9));
    CHECK(GetWindowTextLengthW(loginPass) == 0);
    wchar_t caption[64];
    GetWindowTextW(banner_cta, caption, 64);
    CHECK(wcscmp(caption, L"Comprar créditos") == 0);
    const HWND form[] = {loginName, loginPass, eye, user_label, pass_label, account_switch};
    for (HWND c : form) CHECK(!IsWindowVisible(c));
    RECT r = child_rect(action);
    CHECK((r.left == 122 && r.top == 238 && r.right - r.left == 245 && r.bottom - r.top == 20));
    r = child_rect(problem);
    CHECK((r.left == 126 && r.top == 210 && r.right - r.left == 235));
    CHECK(SendMessageW(problem, EM_GETLIMITTEXT, 0, 0) == 160);
    CHECK(IsWindowEnabled(navigation[2]));
    CHECK(KillTimer(window, queue_timer));
    // Later requests carry the token.
    fake_reset();
    http(L"/x", nullptr, account_token);
    sent_body();
    CHECK(strstr(sent, "\r\nAuthorization: Bearer tok-abc.123\r\n") != nullptr);
}

TEST_CASE("an incomplete form sends nothing and says so") {
    fresh();
    fill(L"sem-arroba", L"segredo");
    submit();
    CHECK(box_says(L"Preencha os dados solicitados."));
    fill(L"ana@exemplo.com", L"");
    submit();
    CHECK(box_says(L"Preencha os dados solicitados."));
    // An address whose UTF-8 form passes 255 bytes reads as empty.
    static wchar_t long_mail[300];
    for (int i = 0; i < 127; i++) long_mail[i] = L'ç';
    wcscat(long_mail, L"@x.com");
    fill(long_mail, L"segredo");
    submit();
    CHECK(box_says(L"Preencha os dados solicitados."));
    CHECK(fake_count() == 0);
    CHECK(logged == 0);
    // The form keeps what was typed.
    CHECK(GetWindowTextLengthW(loginPass) == 7);
}

TEST_CASE("registration counts characters, not bytes") {
    fresh();
    enter_stage(1);
    script("POST", "/suporte/avulso/api/conta/cadastro", 202, "{\"desafio\":\"d-42\"}");
    fill(L"ana@exemplo.com", L"ááááááá");
    submit();
    CHECK(box_says(L"A senha precisa ter pelo menos 8 caracteres."));
    CHECK(GetFocus() == loginPass);
    CHECK(fake_count() == 0);
    fill(L"ana@exemplo.com", L"áááááááá");
    submit();
    CHECK(inside_box::ran == 0);
    CHECK(strcmp(sent_body(),
                 "{\"email\":\"ana@exemplo.com\",\"senha\":\"áááááááá\",\"confirmacao\":\"áááááááá\"}") == 0);
    CHECK(account_stage == 2);
    CHECK(strcmp(account_challenge, "d-42") == 0);
    CHECK(!IsWindowVisible(loginName));
    CHECK(GetFocus() == loginPass);
    // The longest e-mail and password the fields take (254 and 128 characters, the password in
    // three-byte characters) go out whole.
    enter_stage(1);
    static wchar_t mail[255], secret[129];
    for (int i = 0; i < 254; i++) mail[i] = i < 242 ? L'a' : L"@exemplo.com"[i - 242];
    for (int i = 0; i < 128; i++) secret[i] = 0x20AC;
    static char mail8[255], secret8[385], expected[1100];
    memset(mail8, 'a', 242);
    strcpy(mail8 + 242, "@exemplo.com");
    for (int i = 0; i < 128; i++) memcpy(secret8 + 3 * i, "\xe2\x82\xac", 3);
    snprintf(expected, sizeof expected, "{\"email\":\"%s\",\"senha\":\"%s\",\"confirmacao\":\"%s\"}", mail8, secret8,
             secret8);
    script("POST", "/suporte/avulso/api/conta/cadastro", 202, "{\"desafio\":\"d-43\"}");
    fill(mail, secret);
    submit();
    CHECK(inside_box::ran == 0);
    CHECK(strcmp(sent_body(), expected) == 0);
    CHECK(account_stage == 2);
}

TEST_CASE("a registration answer without a challenge stays in registration") {
    fresh();
    enter_stage(1);
    script("POST", "/suporte/avulso/api/conta/cadastro", 202, "{\"desafio\":null}");
    fill(L"ana@exemplo.com", L"segredo-longo");
    submit();
    CHECK(box_says(L"Confira o e-mail e use uma senha de 8 a 128 caracteres."));
    CHECK(account_stage == 1);
    script("POST", "/suporte/avulso/api/conta/cadastro", 200, "{\"desafio\":\"x\"}");
    submit();
    CHECK(box_says(L"Confira o e-mail e use uma senha de 8 a 128 caracteres."));
    CHECK(account_stage == 1);
    // A challenge of 128 bytes does not fit and is refused; one of 127 is kept whole.
    char body[200];
    snprintf(body, sizeof body, "{\"desafio\":\"%0128d\"}", 7);
    script("POST", "/suporte/avulso/api/conta/cadastro", 202, body);
    submit();
    CHECK(box_says(L"Confira o e-mail e use uma senha de 8 a 128 caracteres."));
    CHECK(account_stage == 1);
    CHECK(account_challenge[0] == 0);
    snprintf(body, sizeof body, "{\"desafio\":\"%0127d\"}", 7);
    script("POST", "/suporte/avulso/api/conta/cadastro", 202, body);
    submit();
    CHECK(account_stage == 2);
    CHECK(length(account_challenge) == 127);
}

TEST_CASE("confirming the code sends the challenge back and returns to sign-in") {
    fresh();
    enter_stage(1);
    script("POST", "/suporte/avulso/api/conta/cadastro", 202, "{\"desafio\":\"ch-9\"}");
    fill(L"ana@exemplo.com", L"segredo-longo");
    submit();
    REQUIRE(account_stage == 2);
    script("POST", "/suporte/avulso/api/conta/cadastro/confirmar", 400, "{}", -1, "application/json", 1);
    SetWindowTextW(loginPass, L"12345678");
    submit();
    CHECK(box_says(L"Confira o código recebido por e-mail. Se expirou, refaça o cadastro."));
    CHECK(account_stage == 2);
    script("POST", "/suporte/avulso/api/conta/cadastro/confirmar", 200, "{}");
    submit();
    CHECK(box_says(L"E-mail confirmado. Entre com a senha cadastrada."));
    CHECK(strcmp(sent_body(), "{\"desafio\":\"ch-9\",\"codigo\":\"12345678\"}") == 0);
    CHECK(account_stage == 0);
    CHECK(all_zero(account_challenge, sizeof account_challenge));
    wchar_t mail[64];
    GetWindowTextW(loginName, mail, 64);
    CHECK(wcscmp(mail, L"ana@exemplo.com") == 0);
    CHECK(IsWindowVisible(loginName));
    CHECK(GetWindowTextLengthW(loginPass) == 0);
}

TEST_CASE("sign-in repeats once after no answer or 502 to 504 and never after a refusal") {
    fresh();
    fill(L"ana@exemplo.com", L"segredo");
    // The first answer as given, then a refusal, which is never repeated.
    struct {
        int status, close, attempts;
    } cases[] = {{200, 1, 2}, {502, 0, 2}, {503, 0, 2}, {504, 0, 2}, {401, 0, 1}};
    for (auto &c : cases) {
        CAPTURE(c.status);
        CAPTURE(c.close);
        fake_reset();
        script("POST", login_path, c.status, "{}", -1, "application/json", 1, 0, c.close);
        script("POST", login_path, 401, "{}");
        submit();
        CHECK(fake_count() == c.attempts);
        CHECK(logged == 0);
    }
    // A repeat that is answered signs in: two sign-in attempts, then the first queue poll.
    fake_reset();
    script("POST", login_path, 503, "{}", -1, "application/json", 1);
    script("POST", login_path, 200, "{\"token\":\"t2\"}");
    submit();
    CHECK(fake_count() == 3);
    CHECK(logged == 1);
}

TEST_CASE("sign-in refusals and failures show their messages without a second attempt") {
    fresh();
    struct {
        int status;
        const wchar_t *message;
        int requests;
    } cases[] = {
        {401, L"Acesso não confirmado. Confira o e-mail, a senha e a confirmação do cadastro.", 1},
        {202, L"Acesso não confirmado. Confira o e-mail, a senha e a confirmação do cadastro.", 1},
        {302, L"Acesso não confirmado. Confira o e-mail, a senha e a confirmação do cadastro.", 1},
        {429, L"Muitas tentativas. Aguarde antes de tentar novamente.", 1},
        {404, L"Não foi possível conectar ao servidor de contas. Aguarde um momento e tente novamente.", 1},
        {500, L"Não foi possível conectar ao servidor de contas. Aguarde um momento e tente novamente.", 1},
        {504, L"Não foi possível conectar ao servidor de contas. Aguarde um momento e tente novamente.", 2},
    };
    fill(L"ana@exemplo.com", L"segredo");
    for (auto &c : cases) {
        CAPTURE(c.status);
        fake_reset();
        script("POST", login_path, c.status, "{\"token\":\"\"}");
        submit();
        CHECK(box_says(c.message));
        CHECK(fake_count() == c.requests);
        CHECK(logged == 0);
        CHECK(GetWindowTextLengthW(loginPass) == 7);
    }
}

namespace {

// The status callback the program sets on its requests, passed on through a relay that notes what
// WinHTTP told it; and, while `told` is set, a send that fails as Windows documents for a refused
// certificate: the callback hears WINHTTP_CALLBACK_STATUS_SECURE_FAILURE with `told` as the reasons.
WINHTTP_STATUS_CALLBACK program_callback;
DWORD program_flags, heard, told;
decltype(&WinHttpSetStatusCallback) real_set_callback;
decltype(&WinHttpSendRequest) real_send;
void CALLBACK relay(HINTERNET h, DWORD_PTR context, DWORD status, void *information, DWORD length) {
    if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && information) heard |= *(DWORD *)information;
    program_callback(h, context, status, information, length);
}
WINHTTP_STATUS_CALLBACK WINAPI record_callback(HINTERNET h, WINHTTP_STATUS_CALLBACK callback, DWORD flags,
                                               DWORD_PTR reserved) {
    program_callback = callback;
    program_flags = flags;
    return real_set_callback(h, callback ? relay : nullptr, flags, reserved);
}
BOOL WINAPI refused_send(HINTERNET r, LPCWSTR headers, DWORD n, LPVOID body, DWORD length, DWORD total,
                         DWORD_PTR context) {
    if (!told) return real_send(r, headers, n, body, length, total, context);
    DWORD reasons = told;
    if (program_callback && (program_flags & WINHTTP_CALLBACK_FLAG_SECURE_FAILURE))
        program_callback(r, 0, WINHTTP_CALLBACK_STATUS_SECURE_FAILURE, &reasons, sizeof reasons);
    SetLastError(ERROR_WINHTTP_SECURE_FAILURE);
    return FALSE;
}

} // namespace

TEST_CASE("a server certificate outside its dates asks for the computer's clock and nothing else does") {
    fresh();
    real_set_callback = (decltype(&WinHttpSetStatusCallback))swap_import("winhttp.dll", "WinHttpSetStatusCallback",
                                                                         (void *)record_callback);
    real_send = (decltype(&WinHttpSendRequest))swap_import("winhttp.dll", "WinHttpSendRequest", (void *)refused_send);
    REQUIRE((real_set_callback && real_send));
    const wchar_t clock[] = L"Não foi possível conectar com segurança. Confira a data e a hora do computador.";
    const wchar_t usual[] = L"Não foi possível conectar ao servidor de contas. Aguarde um momento e tente novamente.";
    script("POST", login_path, 200, "{\"token\":\"t\"}");
    script("POST", "/suporte/avulso/api/conta/cadastro", 202, "{\"desafio\":\"d\"}");
    // The server's real certificate, not valid yet or expired: refused all the same, nothing reaches
    // the server. Whether the clock is blamed rests on WinHTTP saying why (Wine 8 does not).
    const char *certificates[] = {"not_yet_valid", "expired", "wrong_host", "self_signed"};
    for (const char *certificate : certificates) {
        for (int stage = 0; stage < 2; stage++) {
            CAPTURE(certificate);
            CAPTURE(stage);
            fake_reset();
            enter_stage(stage);
            fill(L"ana@exemplo.com", L"segredo123");
            REQUIRE(fake_tls(certificate));
            heard = 0;
            submit();
            bool dates = (heard & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) != 0;
            CHECK(box_says(dates ? clock : usual));
            CHECK((fake_count() == 0 && !logged && account_stage == stage));
            if (stage == 0) MESSAGE(certificate << ": WinHTTP told the reasons " << heard);
        }
    }
    REQUIRE(fake_tls("good"));
    // As Windows tells them: a date among the reasons asks for the clock; any other keeps the usual text.
    struct {
        DWORD reasons;
        const wchar_t *message;
    } cases[] = {
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, clock},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID | WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, clock},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, usual},
        {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, usual},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED, usual},
    };
    for (auto &c : cases) {
        CAPTURE(c.reasons);
        fake_reset();
        enter_stage(0);
        fill(L"ana@exemplo.com", L"segredo123");
        told = c.reasons;
        submit();
        told = 0;
        CHECK(box_says(c.message));
        CHECK((fake_count() == 0 && !logged));
    }
    // The reason lasts only as long as its connection: a server that hangs up afterwards gets the
    // usual text.
    told = WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID;
    CHECK(http_payload(L"/x", nullptr, 0, nullptr, poll_request, nullptr) == 0);
    told = 0;
    fake_reset();
    script("POST", login_path, 200, "{}", -1, "application/json", 0, 0, 1);
    enter_stage(0);
    fill(L"ana@exemplo.com", L"segredo123");
    submit();
    CHECK(box_says(usual));
}

TEST_CASE("a token of 63 bytes signs in and a longer or unprintable one is refused and forgotten") {
    fresh();
    char body[128];
    snprintf(body, sizeof body, "{\"token\":\"%064d\"}", 7);
    script("POST", login_path, 200, body, -1, "application/json", 1);
    fill(L"ana@exemplo.com", L"segredo");
    submit();
    CHECK(box_says(L"Acesso não confirmado. Confira o e-mail, a senha e a confirmação do cadastro."));
    CHECK(logged == 0);
    CHECK(account_token[0] == 0);
    // A line break inside the token would smuggle a header line into every later request; a space or a
    // byte past ASCII is no bearer token either (WinHTTP would narrow it into another byte).
    const char *unfit[] = {"{\"token\":\"abc\r\nX-Outro: 1\"}", "{\"token\":\"abc def\"}",
                           "{\"token\":\"abc\xc3\xa9\"}", "{\"token\":\"abc\x7f\"}"};
    for (const char *answer : unfit) {
        CAPTURE(answer);
        script("POST", login_path, 200, answer, -1, "application/json", 1);
        submit();
        CHECK(box_says(L"Acesso não confirmado. Confira o e-mail, a senha e a confirmação do cadastro."));
        CHECK(logged == 0);
        CHECK(account_token[0] == 0);
    }
    // Both ends of visible ASCII are fine.
    snprintf(body, sizeof body, "{\"token\":\"!~%061d\"}", 7);
    script("POST", login_path, 200, body);
    submit();
    CHECK(logged == 1);
    CHECK(length(account_token) == 63);
    // The anti-forgery value is the whole token.
    CHECK(strcmp(csrf, account_token) == 0);
}

TEST_CASE("buying sends only the credit count and opens nothing unless a sandbox checkout link comes back") {
    fresh();
    strcpy(account_token, "t");
    logged = 1;
    open_tab(1);
    const char path[] = "/suporte/avulso/api/conta/pagamentos";
    struct {
        int status;
        const char *body;
        const wchar_t *message;
    } cases[] = {
        {503, "{}", L"Pagamento de teste indisponível. Falta ativar o Asaas Sandbox."},
        {404, "{}", L"Pagamento de teste indisponível. Falta ativar o Asaas Sandbox."},
        {200, "{\"link\":\"https://sandbox.asaas.com/checkoutSession/show?id=1\"}",
         L"Não foi possível abrir o pagamento de teste."},
        {201, "{\"link\":null}", L"Não foi possível abrir o pagamento de teste."},
        {201, "{\"link\":\"https:\\/\\/sandbox.asaas.com\\/checkoutSession\\/show\"}",
         L"Não foi possível abrir o pagamento de teste."},
        {201, "{\"link\":\"https://sandbox.asaas.com/outra/checkoutSession/show\"}",
         L"Não foi possível abrir o pagamento de teste."},
        {201, "{\"link\":\"https://example.com/?https://sandbox.asaas.com/checkoutSession/show\"}",
         L"Não foi possível abrir o pagamento de teste."},
        {500, "{}", L"Não foi possível abrir o pagamento de teste."},
    };
    browser_opens = 0;
    void *real = swap_import("shell32.dll", "ShellExecuteW", (void *)record_open);
    REQUIRE(real != nullptr);
    for (auto &c : cases) {
        CAPTURE(c.body);
        script("POST", path, c.status, c.body);
        answer_box(IDOK);
        command(34);
        CHECK(box_says(c.message));
        CHECK(strcmp(sent_body(), "{\"creditos\":3}") == 0);
    }
    // A link of 1024 bytes or more is unusable; one of 1023 is opened whole.
    static char body[1200];
    snprintf(body, sizeof body, "{\"link\":\"https://sandbox.asaas.com/checkoutSession/show?%0977d\"}", 1);
    script("POST", path, 201, body);
    answer_box(IDOK);
    command(35);
    CHECK(box_says(L"Não foi possível abrir o pagamento de teste."));
    CHECK(strcmp(sent_body(), "{\"creditos\":5}") == 0);
    CHECK(browser_opens == 0);
    snprintf(body, sizeof body, "{\"link\":\"https://sandbox.asaas.com/checkoutSession/show?%0976d\"}", 1);
    script("POST", path, 201, body);
    answer_box(IDOK);
    command(35);
    CHECK(inside_box::ran == 0);
    static wchar_t longest[1100];
    swprintf(longest, 1100, L"https://sandbox.asaas.com/checkoutSession/show?%0976d", 1);
    CHECK((browser_opens == 1 && wcslen(opened_file) == 1023 && wcscmp(opened_file, longest) == 0));
    swap_import("shell32.dll", "ShellExecuteW", real);
    // Outside the credits tab the package buttons do nothing.
    fake_reset();
    open_tab(0);
    command(33);
    CHECK(fake_count() == 0);
}

namespace {
// Makes the probe stand in for the browser of https links, recording what it is asked to open.
struct recording_browser {
    wchar_t file[MAX_PATH], saved[1024];
    recording_browser() {
        wchar_t build[MAX_PATH], command[2 * MAX_PATH];
        GetEnvironmentVariableW(L"HALVOREN_BUILD", build, MAX_PATH);
        // HALVOREN_BUILD is a Unix path; Wine maps / to Z:.
        swprintf(command, 2 * MAX_PATH, L"\"Z:%ls\\tests\\probe.exe\" record \"%%1\"", build);
        for (wchar_t *c = command; *c; c++)
            if (*c == L'/') *c = L'\\';
        GetTempPathW(MAX_PATH, file);
        wcscat(file, L"opened.txt");
        DeleteFileW(file);
        SetEnvironmentVariableW(L"HALVOREN_OPENED", file);
        // The prefix's own handler is put back afterwards.
        HKEY key;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, L"https\\shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        DWORD size = sizeof saved;
        saved[0] = 0;
        RegQueryValueExW(key, nullptr, nullptr, nullptr, (BYTE *)saved, &size);
        RegSetValueExW(key, nullptr, 0, REG_SZ, (const BYTE *)command, (DWORD)(wcslen(command) + 1) * 2);
        RegCloseKey(key);
    }
    ~recording_browser() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"https\\shell\\open\\command", 0, KEY_SET_VALUE, &key)) return;
        RegSetValueExW(key, nullptr, 0, REG_SZ, (const BYTE *)saved, (DWORD)(wcslen(saved) + 1) * 2);
        RegCloseKey(key);
    }
    // What the browser was given, once its line is written whole.
    int opened(char *out, int size) {
        DWORD n = 0;
        out[0] = 0;
        wait_until([&] {
            HANDLE f = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
            if (f == INVALID_HANDLE_VALUE) return false;
            n = 0;
            ReadFile(f, out, size - 1, &n, nullptr);
            CloseHandle(f);
            out[n] = 0;
            return n && out[n - 1] == '\n';
        });
        return (int)n;
    }
};
} // namespace

TEST_CASE("a sandbox checkout link of either form is opened in the browser and nothing else is") {
    fresh();
    strcpy(account_token, "t");
    logged = 1;
    open_tab(1);
    const char path[] = "/suporte/avulso/api/conta/pagamentos";
    const char *links[] = {"https://sandbox.asaas.com/checkoutSession/show?id=chk_1",
                           "https://sandbox.asaas.com/000/checkoutSession/abc123"};
    for (const char *link : links) {
        CAPTURE(link);
        recording_browser browser;
        char body[256];
        snprintf(body, sizeof body, "{\"id\":\"x\",\"link\":\"%s\"}", link);
        script("POST", path, 201, body);
        answer_box(IDOK);
        // A second click on the package, queued while the request ran, buys nothing more.
        queue_input(window);
        command(33);
        check_queued_input(window, 0);
        CHECK(inside_box::ran == 0);
        CHECK(strcmp(sent_body(), "{\"creditos\":1}") == 0);
        char opened[1024], expected[300];
        REQUIRE(browser.opened(opened, sizeof opened) > 0);
        snprintf(expected, sizeof expected, "%s\n", link);
        CHECK(strcmp(opened, expected) == 0);
    }
}

TEST_CASE("every way through a submit leaves the secret, the members and the body zero and no stray copy") {
    fresh();
    const char login[] = "/suporte/avulso/api/conta/login", signup[] = "/suporte/avulso/api/conta/cadastro",
               confirm[] = "/suporte/avulso/api/conta/cadastro/confirmar";
    struct {
        int stage;
        const wchar_t *mail, *secret;
        const char *path;
        int status;
        const char *body;
    } paths[] = {
        {0, L"sem-arroba", L"segredo1", nullptr, 0, nullptr},       // refused before sending
        {1, L"ana@exemplo.com", L"curta", nullptr, 0, nullptr},     // too short to register
        {0, L"ana@exemplo.com", L"segredo1", login, 401, "{}"},
        {0, L"ana@exemplo.com", L"segredo1", login, 200, "{\"token\":\"sem-fim"},
        {1, L"ana@exemplo.com", L"segredo123", signup, 400, "{}"},
        {1, L"ana@exemplo.com", L"segredo123", signup, 202, "{\"desafio\":\"ch-unico-1\"}"},
        {2, L"", L"91327548", confirm, 400, "{}"},
        {2, L"", L"91327548", confirm, 200, "{}"},
        {0, L"ana@exemplo.com", L"segredo1", login, 200, "{\"token\":\"tok-unico-9\"}"},
    };
    for (auto &p : paths) {
        CAPTURE(p.status);
        if (account_stage != p.stage) {
            if (p.stage == 2) {
                strcpy(account_challenge, "ch-1");
                enter_stage(2);
            } else {
                enter_stage(p.stage);
            }
        }
        if (p.path) script("POST", p.path, p.status, p.body);
        fill(p.mail, p.secret);
        // Only what the submit leaves on the stack counts.
        clear_stack_below();
        submit();
        CHECK(all_zero(account_secret, sizeof account_secret));
        CHECK(all_zero(account_members, sizeof account_members));
        CHECK(all_zero(account_body, sizeof account_body));
        // Nothing of it outside its home: not the answer buffer, the bearer header or the stack.
        char typed[16];
        int i = 0;
        for (; p.secret[i]; i++) typed[i] = (char)p.secret[i];
        typed[i] = 0;
        CHECK(stray_copies(typed) == 0);
        CHECK(stray_copies("ch-unico-1") == 0);
        CHECK(stray_copies("tok-unico-9") == 0);
    }
    CHECK(logged == 1);
}

TEST_CASE("each stage waits for its answer only as long as its request class allows") {
    fresh();
    // 2.6 s: past the 1.8 s of registration and confirmation, inside the 6 s of sign-in.
    script("POST", "/suporte/avulso/api/conta/cadastro", 202, "{\"desafio\":\"c\"}", -1, nullptr, 0, 2600);
    enter_stage(1);
    fill(L"ana@exemplo.com", L"segredo123");
    submit();
    // Had it waited for the answer, the challenge would have moved the form on to the code.
    CHECK(account_stage == 1);
    CHECK(box_says(L"Não foi possível conectar ao servidor de contas. Aguarde um momento e tente novamente."));

    enter_stage(0);
    script("POST", login_path, 200, "{\"token\":\"lento\"}", -1, nullptr, 0, 2600);
    fill(L"ana@exemplo.com", L"segredo1");
    submit();
    CHECK(logged == 1);
}
