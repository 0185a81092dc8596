// The picture of the main window, painted while its background is erased.
#include "dashboard.h"
#include "../shell/shell.h"
#include "../tickets/tickets.h"

void paint_window(HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, paper_brush);
    if (!dashboard_font || chat_ticket) {
        HWND fields[] = {loginName, loginPass, problem, chat_input};
        for (HWND f : fields) draw_field(window, dc, f);
        return;
    }
    RECT side = {0, 0, 100, client.bottom};
    FillRect(dc, &side, side_brush);
}
