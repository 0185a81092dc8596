// The bar the customer sees while frames stream: who is watching, and pause or end from anywhere.
#include "remote.h"
#include "../base/ui.h"

HWND remote_bar;
int remote_paused, remote_screen, remote_condition;

void show_bar() {}

void close_bar() {
    HWND w = remote_bar;
    remote_bar = nullptr;
    if (w) DestroyWindow(w);
}
