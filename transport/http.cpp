// The one request routine every exchange with the support server goes through.
#include "transport.h"
#include "../base/ui.h"
#include <winhttp.h>

char response[response_size] guard_zone(response);
void *connection;
// Held only here: requests use the connection made from it.
static HINTERNET session;

// Why the latest request's secure connection failed, as WinHTTP told the status callback (0: it did not).
static DWORD secure_failure;

struct request_policy {
    int resolve, connect, send, receive;
};

// Indexed by request class; a plain request with a token and any unknown class use the polls' policy.
static const request_policy policies[4] = {
    {0, 0, 0, 0},
    {1200, 1200, 1800, 1800},
    {1200, 1200, 1800, 15000},
    {2500, 2500, 3500, 6000},
};

// How many bytes of the latest answer are in `response`; everything after them is zero.
static DWORD answer_length;

void forget_answer() {
    erase_secret(response, (int)answer_length + 1);
    answer_length = 0;
}

// 1 when the whole body came: every read succeeded and, when the answer announced its length, that
// many bytes arrived (or the buffer filled). A cut answer must not pass for a complete one.
static int read_body(HINTERNET request) {
    DWORD announced = 0, size = sizeof announced;
    BOOL has_length = WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                                          WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size, WINHTTP_NO_HEADER_INDEX);
    DWORD total = 0;
    int whole = 1;
    while (total < response_size - 1) {
        DWORD got = 0;
        if (!WinHttpReadData(request, response + total, response_size - 1 - total, &got)) {
            // Wine 10 was seen to leave part of a read that failed (a reset mid-body) in the buffer:
            // count the whole span it was given as written, so forgetting the answer erases it.
            total = response_size - 1;
            whole = 0;
            break;
        }
        if (got == 0) break;
        total += got;
    }
    if (has_length && total < announced && total < response_size - 1) whole = 0;
    response[total] = 0;
    answer_length = total;
    return whole;
}

// Copies WinHTTP's text (null: none) into a buffer of 512 units, empty when it does not fit, and lets
// go of WinHTTP's copy.
static void take_text(wchar_t *dst, wchar_t *src) {
    dst[0] = 0;
    if (!src) return;
    int n = 0;
    while (src[n] && n < 511) n++;
    if (!src[n]) {
        for (int i = 0; i <= n; i++) dst[i] = src[i];
    }
    GlobalFree(src);
}

static HINTERNET open_session(DWORD access, const wchar_t *proxy, const wchar_t *bypass) {
    return WinHttpOpen(L"Halvoren Zivavoz Windows", access, proxy && proxy[0] ? proxy : WINHTTP_NO_PROXY_NAME,
                       bypass && bypass[0] ? bypass : WINHTTP_NO_PROXY_BYPASS, 0);
}

// What the customer's proxy script or automatic detection names for the server, into proxy and bypass
// (empty for a direct connection); left as they were when neither answers.
static void run_proxy_script(const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG &user, const wchar_t *host, wchar_t *proxy,
                             wchar_t *bypass) {
    wchar_t url[300] = L"https://";
    int n = 8;
    for (const wchar_t *h = host; *h && n < 290; h++) url[n++] = *h;
    url[n++] = L'/';
    url[n] = 0;
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    options.dwFlags = (user.fAutoDetect ? WINHTTP_AUTOPROXY_AUTO_DETECT : 0) |
                      (user.lpszAutoConfigUrl ? WINHTTP_AUTOPROXY_CONFIG_URL : 0);
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    options.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
    // A script behind the company's sign-in is fetched with the customer's own logon.
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO found = {};
    if (!WinHttpGetProxyForUrl(session, url, &options, &found)) return;
    take_text(proxy, found.lpszProxy);
    take_text(bypass, found.lpszProxyBypass);
    if (found.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY) proxy[0] = bypass[0] = 0;
}

// The session goes the way the customer's browser goes: through the proxy of their own settings
// (Settings > Proxy: a fixed proxy, a script or automatic detection), direct where there is none.
// The machine-wide WinHTTP setting alone would miss an office's proxy.
static void open_session_as_the_browser(const wchar_t *host) {
    wchar_t proxy[512], bypass[512];
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user = {};
    int known = WinHttpGetIEProxyConfigForCurrentUser(&user);
    take_text(proxy, known ? user.lpszProxy : nullptr);
    take_text(bypass, known ? user.lpszProxyBypass : nullptr);
    int scripted = known && (user.fAutoDetect || user.lpszAutoConfigUrl);
    if (!scripted && proxy[0]) {
        // A fixed proxy is taken as it is, on every version. (Wine accepts the automatic access type
        // below but goes direct with it.)
        session = open_session(WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy, bypass);
    } else {
        // Windows 8.1 and later run the script or the detection themselves, with failover and proxy
        // sign-in; older versions refuse the access type: the script is run here, once, for the server.
        session = open_session(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, nullptr, nullptr);
        if (!session) {
            session = open_session(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, nullptr, nullptr);
            // With no answer from the script the fixed proxy, if one is set too, still holds.
            if (session && scripted) run_proxy_script(user, host, proxy, bypass);
            if (session && proxy[0]) {
                WinHttpCloseHandle(session);
                session = open_session(WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy, bypass);
            }
        }
    }
    if (user.lpszAutoConfigUrl) GlobalFree(user.lpszAutoConfigUrl);
}

void open_transport(const wchar_t *host) {
    open_session_as_the_browser(host);
    if (!session) return;
    WinHttpSetTimeouts(session, 3500, 3500, 4500, 4500);
    // The wait for an answer's headers has a limit of its own, unbounded by the call above under Wine.
    DWORD receive = 4500;
    WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receive, sizeof receive);
    connection = WinHttpConnect(session, host, INTERNET_DEFAULT_HTTPS_PORT, 0);
}

void close_transport() {
    if (connection) WinHttpCloseHandle(connection);
    if (session) WinHttpCloseHandle(session);
    connection = nullptr;
    session = nullptr;
}

// Called inside the send, on this thread, when the secure connection failed; says why.
static void CALLBACK note_secure_failure(HINTERNET, DWORD_PTR, DWORD status, void *information, DWORD length) {
    if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && information && length >= sizeof(DWORD))
        secure_failure = *(DWORD *)information;
}

int certificate_out_of_date() { return (secure_failure & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) != 0; }

// Sends the request and waits for the answer's headers: 1 and its status when they came (the status 0
// if it cannot be read).
static int exchange(HINTERNET request, const wchar_t *headers, const void *body, unsigned body_length,
                    DWORD *status) {
    *status = 0;
    if (!WinHttpSendRequest(request, headers ? headers : WINHTTP_NO_ADDITIONAL_HEADERS, headers ? (DWORD)-1 : 0,
                            (void *)body, body_length, body_length, 0) ||
        !WinHttpReceiveResponse(request, nullptr))
        return 0;
    DWORD size = sizeof *status;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        status, &size, WINHTTP_NO_HEADER_INDEX);
    return 1;
}

// Many offices' proxies take the customer's Windows sign-in (Negotiate or NTLM) without asking anything:
// the request is given the signed-in user's own logon for the proxy, and 1 says it may go once more.
// Nothing else is answered (Basic would need a password, and the program never asks for one).
static int sign_in_to_proxy(HINTERNET request) {
    DWORD schemes = 0, first = 0, target = 0;
    if (!WinHttpQueryAuthSchemes(request, &schemes, &first, &target) || target != WINHTTP_AUTH_TARGET_PROXY)
        return 0;
    DWORD scheme = (schemes & WINHTTP_AUTH_SCHEME_NEGOTIATE) ? WINHTTP_AUTH_SCHEME_NEGOTIATE
                   : (schemes & WINHTTP_AUTH_SCHEME_NTLM)    ? WINHTTP_AUTH_SCHEME_NTLM
                                                             : 0;
    if (!scheme) return 0;
    // WinHTTP's default policy gives the logon only to hosts on the proxy bypass list, never to the
    // proxy itself.
    DWORD low = WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW;
    return WinHttpSetOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &low, sizeof low) &&
           WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, nullptr, nullptr, nullptr);
}

int http_payload(const wchar_t *path, const void *body, unsigned body_length, const wchar_t *headers,
                 int request_class, const char *token) {
    secure_failure = 0;
    if (!connection) return 0;
    HINTERNET request = WinHttpOpenRequest(connection, body ? L"POST" : L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    // The previous answer goes whole, so no tail of it (a challenge, say) outlives a shorter one.
    forget_answer();
    DWORD status = 0;
    if (!request) return 0;
    // Only told, never acted on: validation stays as strict as the platform makes it.
    WinHttpSetStatusCallback(request, note_secure_failure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);

    wchar_t combined[512];
    combined[0] = 0;
    const wchar_t *header_text = headers;
    if (token && token[0]) {
        char bearer[512];
        erase_secret(bearer, sizeof bearer);
        append(bearer, sizeof bearer, "Authorization: Bearer ");
        append(bearer, sizeof bearer, token);
        append(bearer, sizeof bearer, "\r\n");
        convert(bearer, combined, 512);
        erase_secret(bearer, sizeof bearer);
        int n = 0;
        while (combined[n]) n++;
        for (const wchar_t *h = headers; h && *h && n < 511; h++) combined[n++] = *h;
        combined[n] = 0;
        header_text = combined;
        if (request_class == plain_request) request_class = poll_request;
    }
    if (request_class != plain_request) {
        DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        if (!WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never)) {
            erase_secret(combined, sizeof combined);
            WinHttpCloseHandle(request);
            return 0;
        }
        const request_policy &p =
            policies[request_class >= poll_request && request_class <= sign_in_request ? request_class : poll_request];
        WinHttpSetTimeouts(request, p.resolve, p.connect, p.send, p.receive);
        // Wine waits for the answer's headers under a separate limit that the call above leaves
        // unbounded; give it the receive time-out too, so a silent server cannot stall the window.
        DWORD receive = p.receive;
        WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receive, sizeof receive);
    }

    int answered = exchange(request, header_text, body, body_length, &status);
    // WinHTTP keeps its own copy of the headers from here on.
    erase_secret(combined, sizeof combined);
    // The request keeps its headers, redirect policy and time-outs; only the body is given again. Once:
    // a proxy that refuses the customer's logon is not asked again.
    if (answered && status == HTTP_STATUS_PROXY_AUTH_REQ && sign_in_to_proxy(request))
        answered = exchange(request, nullptr, body, body_length, &status);
    if (!answered) {
        WinHttpCloseHandle(request);
        return 0;
    }
    int whole = read_body(request);
    WinHttpCloseHandle(request);
    // A proxy that wants credentials answered, not the server: no answer, for every caller.
    if (whole && status != HTTP_STATUS_PROXY_AUTH_REQ) return (int)status;
    // A read that failed or ended early is no answer, for every caller.
    forget_answer();
    return 0;
}

int http(const wchar_t *path, const char *form, const char *token) {
    if (form)
        return http_payload(path, form, length(form), L"Content-Type: application/x-www-form-urlencoded\r\n",
                            plain_request, token);
    return http_payload(path, nullptr, 0, nullptr, plain_request, token);
}

int http_json(const wchar_t *path, const char *body, int request_class, const char *token) {
    return http_payload(path, body, length(body), L"Content-Type: application/json\r\n", request_class, token);
}
