// Screen frames for the technician and the mouse and keyboard commands that come back.
#include "remote.h"
#include "../base/ui.h"
#include "../transport/transport.h"

int remote_refusals;

// The screen is copied unscaled into a 32-bit DIB section the size of the physical screen, and
// reduced here: every frame pixel is the average of the screen area it covers, as GDI's halftone
// stretch gives, at a fraction of its cost on large screens.
static BITMAPINFO remote_bitmap = {{40, 0, 0, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};

HDC capture_dc;
HBITMAP capture_bitmap, capture_old;
void *capture_pixels;
int capture_width, capture_height;
int capture_rows;
static long long whole_read;
static int warm_copy;
// What goes up: 640 x 360, 16 bits (5-5-5), rows top first, 460,800 bytes whatever the screen's size.
// It holds the shown monitor's last picture; a notice goes up drawn instead of it or over a copy.
unsigned short frame_pixels[640 * 360];

// Frame column x covers screen columns [x * width, (x + 1) * width) in 640ths of a column: a first
// column with weight `head`, `middle` whole ones, and a last with weight `tail` (0 when none).
static struct {
    int first, middle, head, tail;
} column_spans[640];
// One screen row reduced to 640 columns (weights summing to the width), and the rows of the frame
// row being gathered (weights summing to the height), per channel.
static unsigned row_sums[640][3];
static unsigned long long frame_sums[640][3];

static void plan_columns(int width) {
    for (int x = 0; x < 640; x++) {
        int from = x * width, to = from + width, first = from / 640, last = (to - 1) / 640;
        column_spans[x].first = first;
        if (first == last) {
            column_spans[x].head = width, column_spans[x].middle = column_spans[x].tail = 0;
        } else {
            column_spans[x].head = (first + 1) * 640 - from;
            column_spans[x].middle = last - first - 1;
            column_spans[x].tail = to - last * 640;
        }
    }
}

static void reduce_row(const unsigned *row) {
    for (int x = 0; x < 640; x++) {
        const unsigned *p = row + column_spans[x].first;
        unsigned head = column_spans[x].head, tail = column_spans[x].tail;
        // Red and blue add up side by side in one word and green in another: a span has at most
        // width / 640 + 1 whole columns, far below the 257 that would carry between them.
        unsigned red_blue = 0, green = 0;
        const unsigned *end = p + 1 + column_spans[x].middle;
        for (const unsigned *q = p + 1; q < end; q++) red_blue += *q & 0xFF00FF, green += *q & 0xFF00;
        unsigned h = *p, t = tail ? *end : 0;
        row_sums[x][0] = (red_blue >> 16) * 640 + (h >> 16 & 0xFF) * head + (t >> 16 & 0xFF) * tail;
        row_sums[x][1] = (green >> 8) * 640 + (h >> 8 & 0xFF) * head + (t >> 8 & 0xFF) * tail;
        row_sums[x][2] = (red_blue & 0xFFFF) * 640 + (h & 0xFF) * head + (t & 0xFF) * tail;
    }
}

static void gather_row(unsigned weight) {
    for (int x = 0; x < 640; x++)
        for (int c = 0; c < 3; c++) frame_sums[x][c] += (unsigned long long)row_sums[x][c] * weight;
}

// The gathered row, averaged (the weights total width x height), into 5-5-5, and the sums cleared.
static void emit_row(unsigned short *out, unsigned long long total) {
    // Division by a multiplication: the reciprocal rounded up is exact enough for 8 bits.
    unsigned long long reciprocal = ((1ull << 32) + total - 1) / total;
    for (int x = 0; x < 640; x++) {
        unsigned v[3];
        for (int c = 0; c < 3; c++) {
            v[c] = (unsigned)((frame_sums[x][c] + total / 2) * reciprocal >> 32);
            frame_sums[x][c] = 0;
        }
        out[x] = (unsigned short)((v[0] >> 3) << 10 | (v[1] >> 3) << 5 | v[2] >> 3);
    }
}

void reduce_frame(const unsigned *pixels, int width, int height, unsigned short *out) {
    plan_columns(width);
    for (int x = 0; x < 640; x++)
        for (int c = 0; c < 3; c++) frame_sums[x][c] = 0;
    // Frame row y covers screen rows [y * height, (y + 1) * height) in 360ths of a row; a screen row
    // split between two frame rows gives each its share.
    unsigned long long total = (unsigned long long)width * height;
    int y = 0;
    for (int row = 0; row < height && y < 360; row++) {
        reduce_row(pixels + (size_t)row * width);
        int from = row * 360, to = from + 360, end = (y + 1) * height;
        while (to >= end && y < 360) {
            gather_row(end - from);
            emit_row(out + y * 640, total);
            from = end;
            end = (++y + 1) * height;
        }
        if (to > from) gather_row(to - from);
    }
}

// Without per-monitor awareness (Windows before 10, version 1607) a DPI-unaware process on a scaled
// screen is told a smaller primary screen; the screen DC's own size is the physical one.
static void physical_size(HDC screen, int *width, int *height) {
    int w = GetDeviceCaps(screen, DESKTOPHORZRES), h = GetDeviceCaps(screen, DESKTOPVERTRES);
    if (w > *width && h > *height) *width = w, *height = h;
}

// The capture objects live for the whole remote session, so a frame allocates nothing; only a
// change of the shown monitor's size makes them again.
static int make_capture(HDC screen, int width, int height) {
    if (capture_dc) drop_capture();
    remote_bitmap.bmiHeader.biWidth = width;
    remote_bitmap.bmiHeader.biHeight = -height;
    capture_dc = CreateCompatibleDC(screen);
    capture_bitmap = CreateDIBSection(screen, &remote_bitmap, DIB_RGB_COLORS, &capture_pixels, nullptr, 0);
    if (capture_dc && capture_bitmap) {
        capture_old = (HBITMAP)SelectObject(capture_dc, capture_bitmap);
        capture_width = width;
        capture_height = height;
        capture_rows = 0;
        whole_read = 0;
        warm_copy = 0;
        return 1;
    }
    if (capture_dc) DeleteDC(capture_dc);
    if (capture_bitmap) DeleteObject(capture_bitmap);
    capture_dc = nullptr;
    capture_bitmap = nullptr;
    capture_pixels = nullptr;
    return 0;
}

// How the screen is read: in one BitBlt, or in bands of about 480 KB. Wine copies every read of the
// screen through memory it takes fresh for that read, so one 33 MB read of a 3840 x 2160 screen costs
// a quarter of a second and more, its bands a few milliseconds. Windows' desktop compositor instead
// charges each read of the screen on its own, so there one read is the cheaper. A fresh copy pays for
// its pages at its first read, whichever way: the session's first frame reads in bands untimed, the
// next two time one read and then bands on the warm copy, and the cheaper stays until the screen
// changes size.
static int band_rows(int width) {
    int rows = 491520 / (width * 4);
    return rows > 0 ? rows : 1;
}

static long long ticks() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// The screen DC's origin stands at the shown monitor's top-left, so its rows are the copy's rows.
static BOOL read_rows(HDC screen, int rows) {
    BOOL copied = TRUE;
    for (int y = 0; y < capture_height && copied; y += rows) {
        int n = capture_height - y < rows ? capture_height - y : rows;
        copied = BitBlt(capture_dc, 0, y, capture_width, n, screen, 0, y, SRCCOPY);
    }
    GdiFlush();
    return copied;
}

static BOOL read_screen(HDC screen) {
    int bands = band_rows(capture_width);
    if (bands >= capture_height) return read_rows(screen, capture_height);
    if (capture_rows) return read_rows(screen, capture_rows);
    if (!warm_copy) return warm_copy = read_rows(screen, bands);
    long long start = ticks();
    BOOL copied = read_rows(screen, whole_read ? bands : capture_height);
    long long spent = ticks() - start;
    if (!copied) return FALSE;
    if (!whole_read) whole_read = spent > 0 ? spent : 1;
    else capture_rows = spent < whole_read ? bands : capture_height;
    return TRUE;
}

// The pointer, which a screen read never holds, drawn into the copy at its place and with its shape:
// its cell at least 24 frame rows tall (the arrow about 15), larger than the screen has it wherever the
// frame reduces it, with its hotspot kept on the pointer's place.
enum { pointer_cell_rows = 24, known_shapes = 32 };
static struct pointer_shape {
    HCURSOR cursor;
    int width, height, hot_x, hot_y;
} shapes[known_shapes];
static int next_shape;

static const pointer_shape *shape_of(HCURSOR cursor) {
    for (const pointer_shape &s : shapes)
        if (s.cursor == cursor) return &s;
    ICONINFO icon;
    if (!GetIconInfo(cursor, &icon)) return nullptr;
    BITMAP mask = {};
    GetObjectW(icon.hbmMask, sizeof mask, &mask);
    DeleteObject(icon.hbmMask);
    if (icon.hbmColor) DeleteObject(icon.hbmColor);
    // A monochrome cursor's mask holds its AND and XOR halves one above the other.
    int height = icon.hbmColor ? mask.bmHeight : mask.bmHeight / 2;
    if (mask.bmWidth <= 0 || height <= 0) return nullptr;
    pointer_shape &s = shapes[next_shape++ % known_shapes];
    s = {cursor, mask.bmWidth, height, (int)icon.xHotspot, (int)icon.yHotspot};
    return &s;
}

// GetIconInfo makes two bitmaps at each call: the system's own pointers are looked up once for the
// process, so a pointer changing shape over the screen makes and deletes nothing in a frame.
static void know_system_pointers() {
    static int known;
    if (known) return;
    known = 1;
    static const LPCWSTR ids[] = {IDC_ARROW,    IDC_IBEAM,    IDC_WAIT,        IDC_CROSS,  IDC_UPARROW,
                                  IDC_SIZENWSE, IDC_SIZENESW, IDC_SIZEWE,      IDC_SIZENS, IDC_SIZEALL,
                                  IDC_NO,       IDC_HAND,     IDC_APPSTARTING, IDC_HELP};
    for (LPCWSTR id : ids) {
        HCURSOR cursor = LoadCursorW(nullptr, id);
        if (cursor) shape_of(cursor);
    }
}

// `shown` is the monitor in the thread's view of the screen, `width` x `height` its copy.
static void draw_pointer(RECT shown, int width, int height) {
    know_system_pointers();
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetCursorInfo(&info) || !(info.flags & CURSOR_SHOWING) || !info.hCursor) return;
    // A pointer on another monitor is not on this frame.
    if (!PtInRect(&shown, info.ptScreenPos)) return;
    const pointer_shape *s = shape_of(info.hCursor);
    if (!s) return;
    int rows = (pointer_cell_rows * height + 359) / 360;
    if (rows < s->height) rows = s->height;
    int columns = MulDiv(s->width, rows, s->height);
    int x = MulDiv(info.ptScreenPos.x - shown.left, width, shown.right - shown.left) -
            MulDiv(s->hot_x, rows, s->height);
    int y = MulDiv(info.ptScreenPos.y - shown.top, height, shown.bottom - shown.top) -
            MulDiv(s->hot_y, rows, s->height);
    DrawIconEx(capture_dc, x, y, info.hCursor, columns, rows, 0, nullptr, DI_NORMAL);
    GdiFlush();
}

// The monitor the last frame showed, in the thread's view of the screen, and the virtual screen around
// it: the technician's grid covers it.
static RECT shown_screen, shown_desktop;
static int holds_picture;

int capture_screen() {
    HANDLE old = physical_view();
    RECT shown = screen_rect(remote_screen);
    HDC screen = GetDC(nullptr);
    BOOL copied = FALSE;
    int width = shown.right - shown.left, height = shown.bottom - shown.top;
    if (screen) {
        if (!old && shown.left == 0 && shown.top == 0) physical_size(screen, &width, &height);
        if ((width != capture_width || height != capture_height || !capture_dc) &&
            !make_capture(screen, width, height)) {
            ReleaseDC(nullptr, screen);
            end_physical_view(old);
            end_remote_session();
            return -1;
        }
        SetViewportOrgEx(screen, shown.left, shown.top, nullptr);
        copied = read_screen(screen);
        ReleaseDC(nullptr, screen);
        if (copied) draw_pointer(shown, width, height);
        shown_screen = shown;
        int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        shown_desktop = {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                         top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    }
    end_physical_view(old);
    if (!copied) return 0;
    reduce_frame((const unsigned *)capture_pixels, capture_width, capture_height, frame_pixels);
    holds_picture = 1;
    return 1;
}

// The frames that say why the technician sees no screen, or cannot use it: drawn into a 640 x 360
// DIB section in the frame's own format (16 bits are 5-5-5), with fonts of frame pixels, all made once
// per session.
static BITMAPINFO notice_format = {{40, 640, -360, 1, 16, BI_RGB, 0, 0, 0, 0, 0}, {}};
static HDC notice_dc;
static HBITMAP notice_bitmap, notice_old;
static unsigned short *notice_pixels;
static HFONT notice_font, line_font;

static int notice_ready() {
    if (notice_dc) return 1;
    notice_dc = CreateCompatibleDC(nullptr);
    notice_bitmap =
        CreateDIBSection(nullptr, &notice_format, DIB_RGB_COLORS, (void **)&notice_pixels, nullptr, 0);
    notice_font = CreateFontW(-22, 0, 0, 0, FW_SEMIBOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                              0, L"Segoe UI");
    line_font = CreateFontW(-15, 0, 0, 0, FW_SEMIBOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0,
                            L"Segoe UI");
    if (notice_dc && notice_bitmap) notice_old = (HBITMAP)SelectObject(notice_dc, notice_bitmap);
    if (notice_dc && notice_bitmap && notice_font && line_font) {
        SetBkMode(notice_dc, TRANSPARENT);
        SetTextColor(notice_dc, white_text);
        return 1;
    }
    drop_frame_drawing();
    return 0;
}

// The commands answer the frame the technician was looking at, the one before: nothing yet in the
// session, the live screen of a monitor, or a notice.
enum { seen_nothing, seen_live, seen_notice };
static int seen;
static RECT seen_screen, seen_desktop;
// The monitor the grid of the commands being applied covers; a grid on the primary (origin 0, 0, or
// none yet) keeps the primary's own absolute moves.
static RECT grid_screen, grid_desktop;

void drop_frame_drawing() {
    if (notice_dc) {
        if (notice_old) SelectObject(notice_dc, notice_old);
        DeleteDC(notice_dc);
    }
    if (notice_bitmap) DeleteObject(notice_bitmap);
    if (notice_font) DeleteObject(notice_font);
    if (line_font) DeleteObject(line_font);
    notice_dc = nullptr;
    notice_bitmap = notice_old = nullptr;
    notice_pixels = nullptr;
    notice_font = line_font = nullptr;
    holds_picture = 0;
    seen = seen_nothing;
    grid_screen = grid_desktop = {};
}

// Text wrapped to the box's width, centred in it; the height it takes.
static int text_in(const wchar_t *text, HFONT f, RECT box, int draw) {
    HGDIOBJ old = SelectObject(notice_dc, f);
    RECT measured = box;
    DrawTextW(notice_dc, text, -1, &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_CENTER);
    int h = measured.bottom - measured.top;
    box.top += (box.bottom - box.top - h) / 2;
    box.bottom = box.top + h;
    if (draw) DrawTextW(notice_dc, text, -1, &box, DT_WORDBREAK | DT_NOPREFIX | DT_CENTER);
    SelectObject(notice_dc, old);
    return h;
}

static void fill(RECT r, COLORREF colour) {
    SetDCBrushColor(notice_dc, colour);
    FillRect(notice_dc, &r, (HBRUSH)GetStockObject(DC_BRUSH));
}

static const unsigned short *paused_frame() {
    fill({0, 0, 640, 360}, session_header_colour);
    // The pause sign over the words.
    fill({302, 128, 314, 164}, white_text);
    fill({326, 128, 338, 164}, white_text);
    text_in(L"Pausado pelo cliente", notice_font, {40, 176, 600, 216}, 1);
    GdiFlush();
    return notice_pixels;
}

// The last picture, each channel at three eighths, under the words on a dark panel.
static const unsigned short *protected_frame() {
    GdiFlush();
    if (holds_picture) {
        for (int i = 0; i < 640 * 360; i++) {
            unsigned p = frame_pixels[i];
            notice_pixels[i] = (unsigned short)((p >> 2 & 0x1CE7) + (p >> 3 & 0x0C63));
        }
    } else {
        fill({0, 0, 640, 360}, session_header_colour);
    }
    static const wchar_t words[] =
        L"O Windows está mostrando uma tela protegida (aviso de segurança ou bloqueio). "
        L"Peça ao cliente para responder no computador.";
    RECT box = {70, 0, 570, 360};
    int h = text_in(words, notice_font, box, 0);
    fill({50, 180 - h / 2 - 18, 590, 180 + h - h / 2 + 18}, session_header_colour);
    text_in(words, notice_font, box, 1);
    GdiFlush();
    return notice_pixels;
}

// The live picture with a line across its top.
static const unsigned short *elevated_frame() {
    GdiFlush();
    memcpy(notice_pixels, frame_pixels, frame_bytes);
    static const wchar_t words[] = L"Esta janela é de administrador: o Windows não deixa o técnico usá-la.";
    RECT box = {12, 0, 628, 360};
    int h = text_in(words, line_font, box, 0) + 10;
    fill({0, 0, 640, h}, red_colour);
    text_in(words, line_font, {12, 0, 628, h}, 1);
    GdiFlush();
    return notice_pixels;
}

// 1 when a frame went up and was answered 200; 0 lets the status poll decide. While the customer has
// paused, the frame is the pause notice and the screen is not read; while Windows shows a protected
// desktop or the screen cannot be read, it is the last picture darkened under the reason; in both the
// answer's commands are dropped, never kept for later: they were aimed at a picture of no screen.
int send_frame() {
    if (!remote_paused)
        remote_condition = !customers_desktop()                   ? screen_protected
                           : above_program(GetForegroundWindow()) ? screen_elevated
                                                                  : screen_open;
    // The bar is on the screen before the first picture of it is taken: the technician sees it too.
    show_bar();
    int live = !remote_paused && remote_condition != screen_protected;
    if (live) {
        int read = capture_screen();
        if (read < 0) return 0;
        if (!read) live = 0, remote_condition = screen_protected;
    }
    const unsigned short *frame = frame_pixels;
    if (!live || remote_condition == screen_elevated) {
        if (!notice_ready()) {
            end_remote_session();
            return 0;
        }
        frame = remote_paused ? paused_frame() : live ? elevated_frame() : protected_frame();
    }
    if (remote_call(nullptr, frame) != 200) return 0;
    if (live && seen != seen_notice) {
        grid_screen = seen == seen_live ? seen_screen : shown_screen;
        grid_desktop = seen == seen_live ? seen_desktop : shown_desktop;
        apply_commands();
    }
    seen = live ? seen_live : seen_notice;
    seen_screen = shown_screen;
    seen_desktop = shown_desktop;
    return 1;
}

static void mouse(INPUT *in, DWORD flags, LONG dx, LONG dy) {
    *in = INPUT{};
    in->type = INPUT_MOUSE;
    in->mi.dx = dx;
    in->mi.dy = dy;
    in->mi.dwFlags = flags;
}

static void key(INPUT *in, WORD vk, WORD scan, DWORD flags) {
    *in = INPUT{};
    in->type = INPUT_KEYBOARD;
    in->ki.wVk = vk;
    in->ki.wScan = scan;
    in->ki.dwFlags = flags;
}

// The keys whose scan code comes after an E0 prefix. Windows' MAPVK_VK_TO_VSC_EX says so itself; Wine 8
// gives the prefix only for the right-hand Ctrl and Alt, not for the arrows, the block above them or the
// keypad's Divide, so the list says it too.
static int extended_key(unsigned vk) {
    static const unsigned char keys[] = {VK_CANCEL, VK_PRIOR,  VK_NEXT,     VK_END,    VK_HOME,   VK_LEFT,   VK_UP,
                                         VK_RIGHT,  VK_DOWN,   VK_SNAPSHOT, VK_INSERT, VK_DELETE, VK_LWIN,   VK_RWIN,
                                         VK_APPS,   VK_DIVIDE, VK_NUMLOCK,  VK_RCONTROL, VK_RMENU};
    for (unsigned char k : keys)
        if (vk == k) return 1;
    // The browser, volume and media keys.
    return vk >= VK_BROWSER_BACK && vk <= VK_LAUNCH_APP2;
}

// The numeric keypad's digits and decimal key sit at the same places on every PC layout. Wine 8 answers
// 0 for them (it maps the X keypad by the NumLock state); Windows knows them.
static UINT keypad_scan(unsigned vk) {
    static const unsigned char scans[] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return scans[vk - VK_NUMPAD0];
    return vk == VK_DECIMAL ? 0x53 : 0;
}

// The centre of a cell of the 320 x 180 grid, in the pixels of the monitor the grid covers.
static POINT grid_point(unsigned x, unsigned y) {
    RECT r = grid_screen;
    if (r.right <= r.left) r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return {r.left + (LONG)(2 * x + 1) * (r.right - r.left) / 640,
            r.top + (LONG)(2 * y + 1) * (r.bottom - r.top) / 360};
}

// A pixel's centre in the 0..65535 range that absolute moves over the virtual screen take.
static LONG over_desktop(LONG at, LONG from, LONG to) {
    long long n = ((long long)(at - from) * 2 + 1) * 65536 / (2LL * (to - from));
    return (LONG)(n < 0 ? 0 : n > 65535 ? 65535 : n);
}

// The inputs for one command line, into out[0..2]; how many, 0 when the line is skipped.
int remote_inputs(const char *verb, unsigned first, unsigned second, INPUT *out) {
    int click = equal(verb, "clicar"), right = equal(verb, "direito");
    if ((click || right || equal(verb, "mover")) && first <= 319 && second <= 179) {
        if ((!grid_screen.left && !grid_screen.top) || grid_desktop.right <= grid_desktop.left ||
            grid_desktop.bottom <= grid_desktop.top) {
            // The centre of a cell of the 320 x 180 grid, in the 0..65535 range of absolute moves.
            mouse(out, MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (LONG)((first * 65535 + 32767) / 320),
                  (LONG)((second * 65535 + 32767) / 180));
        } else {
            // Absolute moves without MOUSEEVENTF_VIRTUALDESK reach the primary monitor alone.
            POINT p = grid_point(first, second);
            mouse(out, MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK,
                  over_desktop(p.x, grid_desktop.left, grid_desktop.right),
                  over_desktop(p.y, grid_desktop.top, grid_desktop.bottom));
        }
        if (!click && !right) return 1;
        // "clicar" is the customer's primary button. SendInput names the physical buttons, and Windows
        // swaps them for a mouse set for the left hand as it does a real mouse's.
        int left = click != (GetSystemMetrics(SM_SWAPBUTTON) != 0);
        mouse(out + 1, left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN, 0, 0);
        mouse(out + 2, left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP, 0, 0);
        return 3;
    }
    if (first < 1 || first > 65535) return 0;
    if (equal(verb, "texto")) {
        key(out, 0, (WORD)first, KEYEVENTF_UNICODE);
        key(out + 1, 0, (WORD)first, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
        return 2;
    }
    if (equal(verb, "tecla")) {
        // Programs that read scan codes (remote-desktop clients, virtual machines, games) take a key
        // without one, or without the extended flag, for its numeric-keypad twin.
        UINT code = MapVirtualKeyW(first, MAPVK_VK_TO_VSC_EX);
        if (!code) code = keypad_scan(first);
        // Pause answers E1 1D (its make code starts E1 1D 45); its key messages carry 45.
        WORD scan = (WORD)((code >> 8) == 0xE1 ? 0x45 : code & 0xFF);
        DWORD flags = (code >> 8) == 0xE0 || extended_key(first) ? KEYEVENTF_EXTENDEDKEY : 0;
        key(out, (WORD)first, scan, flags);
        key(out + 1, (WORD)first, scan, flags | KEYEVENTF_KEYUP);
        return 2;
    }
    return 0;
}

// A technician's 350 ms of input is a handful of lines. A flood would keep the window busy for
// seconds and queue its keys ahead of the customer's own click on "Desconectar remoto".
enum { max_command_lines = 128 };

// Input Windows would drop without a word: a key for a foreground window, or a click for the window
// under its point, of a process above the program's integrity level.
static int dropped(unsigned first, unsigned second, const INPUT *in, int n) {
    if (in->type == INPUT_KEYBOARD) return above_program(GetForegroundWindow());
    return n == 3 && above_program(WindowFromPoint(grid_point(first, second)));
}

void apply_commands() {
    int refused = 0;
    const char *at = response;
    HANDLE old = physical_view();
    for (int lines = 0; *at && lines < max_command_lines; lines++) {
        char verb[12];
        unsigned first, second;
        if (!read_command(&at, verb, &first, &second)) break;
        INPUT inputs[3];
        int n = remote_inputs(verb, first, second, inputs);
        if (!n) continue;
        // Sent all the same: the pointer still moves, and the check may err where Windows does not.
        if (dropped(first, second, inputs, n)) refused = 1;
        if ((int)SendInput(n, inputs, sizeof(INPUT)) < n) refused = 1;
    }
    end_physical_view(old);
    if (refused) remote_refusals++;
}
