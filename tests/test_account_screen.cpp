// The account form's stages, the password toggle and the stage switch.
#include "harness.h"
#include <commctrl.h>
#include <string.h>

namespace {

void check_cue(const wchar_t *expected) {
    wchar_t text[64] = L"";
    SendMessageW(loginPass, EM_GETCUEBANNER, (WPARAM)text, 64);
    CHECK(wcscmp(text, expected) == 0);
}

} // namespace

TEST_CASE("each stage relabels the form, resets the password and focuses its first field") {
    ensure_started();
    struct {
        int stage;
        const wchar_t *label, *cue, *action_caption, *switch_caption;
        int shown, mask, limit;
    } stages[] = {
        {1, L"Senha (mínimo 8 caracteres)", L"Senha", L"Cadastrar", L"Voltar para entrar", 1, 0x25CF, 128},
        {2, L"Código de 8 dígitos enviado por e-mail", L"Código", L"Confirmar cadastro", L"Voltar para entrar", 0, 0,
         8},
        {0, L"Senha", L"Senha", L"Entrar", L"Criar conta", 1, 0x25CF, 128},
    };
    SetWindowTextW(loginName, L"ana@exemplo.com");
    for (auto &s : stages) {
        CAPTURE(s.stage);
        SetWindowTextW(loginPass, L"segredo");
        command(2);
        REQUIRE(visible == 1);
        // Nothing pending before the change, so a repaint asked for shows.
        ValidateRect(eye, nullptr);
        enter_stage(s.stage);
        CHECK(account_stage == s.stage);
        CHECK(says(pass_label, s.label));
        check_cue(s.cue);
        CHECK(says(action, s.action_caption));
        CHECK(says(account_switch, s.switch_caption));
        CHECK(IsWindowVisible(loginName) == s.shown);
        CHECK(IsWindowVisible(user_label) == s.shown);
        CHECK(IsWindowVisible(eye) == s.shown);
        CHECK(SendMessageW(loginPass, EM_GETPASSWORDCHAR, 0, 0) == s.mask);
        CHECK((int)SendMessageW(loginPass, EM_GETLIMITTEXT, 0, 0) == s.limit);
        CHECK(GetWindowTextLengthW(loginPass) == 0);
        CHECK(GetFocus() == (s.shown ? loginName : loginPass));
        // The eye is drawn uncrossed again, with its caption back.
        CHECK(visible == 0);
        CHECK(says(eye, L"Mostrar senha"));
        // A hidden eye has nothing to repaint.
        if (s.shown) CHECK(GetUpdateRect(eye, nullptr, FALSE));
        CHECK(says(loginName, L"ana@exemplo.com"));
    }
}

TEST_CASE("the password toggle flips the mask and the eye and leaves text and focus alone") {
    ensure_started();
    SetWindowTextW(loginPass, L"abc");
    SetFocus(loginName);
    ValidateRect(eye, nullptr);
    command(2);
    CHECK(visible == 1);
    CHECK(SendMessageW(loginPass, EM_GETPASSWORDCHAR, 0, 0) == 0);
    CHECK(says(eye, L"Ocultar senha"));
    CHECK(GetUpdateRect(eye, nullptr, FALSE));
    command(2);
    CHECK(SendMessageW(loginPass, EM_GETPASSWORDCHAR, 0, 0) == 0x25CF);
    CHECK(says(eye, L"Mostrar senha"));
    CHECK(says(loginPass, L"abc"));
    CHECK(GetFocus() == loginName);
}

TEST_CASE("the stage switch goes between sign-in and registration and discards the challenge") {
    ensure_started();
    command(20);
    CHECK(account_stage == 1);
    command(20);
    CHECK(account_stage == 0);
    enter_stage(2);
    strcpy(account_challenge, "desafio");
    command(20);
    CHECK(account_stage == 0);
    for (char c : account_challenge) REQUIRE(c == 0);
}
