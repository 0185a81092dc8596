// Buying credit packages: the server creates the payment and the provider's checkout page opens in
// the browser.
#include "accounts.h"
#include "../base/ui.h"
#include "../transport/transport.h"
#include <shellapi.h>

#ifndef CHECKOUT_HOST
#define CHECKOUT_HOST "sandbox.asaas.com"
#endif

// Only the payment provider's sandbox checkout pages are ever opened.
static const char *const checkout_prefixes[2] = {
    "https://" CHECKOUT_HOST "/checkoutSession/show",
    "https://" CHECKOUT_HOST "/000/checkoutSession/",
};

static const char unusable[] = "Não foi possível abrir o pagamento de teste.";

static int is_checkout(const char *link) {
    for (const char *prefix : checkout_prefixes)
        if (find(link, prefix) == link) return 1;
    return 0;
}

void start_sandbox_checkout(int credits, const char *token) {
    char members[4096] = "", body[64];
    json_number(members, "creditos", credits);
    json_body(body, sizeof body, members);
    int status = http_json(L"/suporte/avulso/api/conta/pagamentos", body, purchase_request, token);
    if (status == 503 || status == 404) {
        pop("Pagamento de teste indisponível. Falta ativar o Asaas Sandbox.");
        return;
    }
    static char link[1024];
    if (status != 201 || !account_value(response, "\"link\"", link, sizeof link) || !is_checkout(link)) {
        pop(unusable);
        return;
    }
    static wchar_t wide[1024];
    convert(link, wide, 1024);
    HINSTANCE opened = ShellExecuteW(window, L"open", wide, nullptr, nullptr, SW_SHOWNORMAL);
    if ((INT_PTR)opened <= 32) pop("Não foi possível abrir o navegador.");
}
