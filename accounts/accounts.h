// The account form and its stages, sign-in, registration and confirmation, and credit purchase. The
// form's state lives here; the window shows it through the presenter (shell/present.cpp).
#pragma once

// The three stages of the account form.
enum account_stage_id { sign_in_stage = 0, registration_stage = 1, confirmation_stage = 2 };

extern int account_stage;
// Whether the password shows in clear.
extern int visible;
// Counts the stages entered: each entry relabels the form, empties the password and focuses it.
extern int form_version;
extern char account_challenge[128];
extern char account_token[64];
extern char csrf[128];
extern int logged;
extern char account_secret[520], account_members[4096], account_body[4096];

// What a stage shows: the password label, its cue, the action and the switch caption.
struct stage_texts {
    const wchar_t *label, *cue, *action, *switch_caption;
};
extern const stage_texts stages[3];

void account_screen(int stage);
void toggle_password();
void switch_account_stage();
// The control the form's first field is: the e-mail, or the code at confirmation.
void focus_account_form();
// The submit of the account form; signs in, registers or confirms.
void perform();
int account_request(const wchar_t *path, const char *member_text, int request_class);
void start_sandbox_checkout(int credits, const char *token);

// What an answer to a stage's request means: the stage to enter (-1: stay), whether the customer is
// now signed in, and the message to show (null: none). The token (sign-in) or challenge
// (registration) is copied to `value`.
struct account_outcome {
    int next_stage, signed_in;
    const char *message;
};
account_outcome read_account_answer(int stage, int status, const char *body, char *value, int size);
