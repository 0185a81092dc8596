// The account form and its stages, sign-in, registration and confirmation, and credit purchase.
#pragma once

extern int account_stage;
extern int visible;
extern char account_challenge[128];
extern char account_token[64];
extern char csrf[128];
extern int logged;
extern char account_secret[520], account_members[4096], account_body[4096];

void account_screen(int stage);
void toggle_password();
void switch_account_stage();
void focus_account_form();
void perform();
int account_request(const wchar_t *path, const char *member_text, int request_class);
void start_sandbox_checkout(int credits);
