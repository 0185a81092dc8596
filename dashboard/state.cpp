// Which tab the dashboard shows, and the areas repainted when the balance, the history or the presence
// changes.
#include "dashboard.h"
#include "../base/ui.h"

int dashboard_tab;
int banner_index;
dashboard_board board = {0, 0, 0, 0, 0, 0, 0, -1, 0};

extern const RECT balance_areas[3] = {{394, 182, 534, 206}, {420, 31, 542, 46}, {0, 0, 0, 0}};
extern const RECT history_areas[3] = {{122, 303, 532, 321}, {0, 0, 0, 0}, {122, 66, 532, 84}};
extern const RECT presence_area = {380, 9, 543, 27};

void dashboard_open(int tab) {
    dashboard_tab = tab;
    wanted_focus = navigation[tab];
}
