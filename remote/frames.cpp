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
// What goes up: 640 x 360, 16 bits (5-5-5), rows top first, 460,800 bytes whatever the screen's size.
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

// Physical pixels whatever the process's DPI awareness: a DPI-unaware thread on a scaled screen is
// told a smaller screen, and a copy of that size would show only its top-left part. The thread turns
// per-monitor aware for the copy where Windows has the call (10, version 1607 on); elsewhere the
// screen DC's own size serves.
typedef HANDLE(WINAPI *awareness_call)(HANDLE);
static HANDLE physical_view(awareness_call *set) {
    static awareness_call found = (awareness_call)(void *)GetProcAddress(GetModuleHandleW(L"user32.dll"),
                                                                         "SetThreadDpiAwarenessContext");
    *set = found;
    if (!found) return nullptr;
    // Per-monitor aware version 2 (-4) came with 1703; the first version (-3) with the call itself.
    HANDLE old = found((HANDLE)-4);
    return old ? old : found((HANDLE)-3);
}

static void physical_size(HDC screen, int aware, int *width, int *height) {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
    int w = GetDeviceCaps(screen, DESKTOPHORZRES), h = GetDeviceCaps(screen, DESKTOPVERTRES);
    if (!aware && w > *width && h > *height) *width = w, *height = h;
}

// The capture objects live for the whole remote session, so a frame allocates nothing; only a
// change of the screen's size makes them again.
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
// charges each read of the screen on its own, so there one read is the cheaper. The session's first
// two frames time both (one read, then bands) and the cheaper stays until the screen changes size.
static int band_rows(int width) {
    int rows = 491520 / (width * 4);
    return rows > 0 ? rows : 1;
}

static long long ticks() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

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
    long long start = ticks();
    BOOL copied = read_rows(screen, whole_read ? bands : capture_height);
    long long spent = ticks() - start;
    if (!copied) return FALSE;
    if (!whole_read) whole_read = spent > 0 ? spent : 1;
    else capture_rows = spent < whole_read ? bands : capture_height;
    return TRUE;
}

// The whole primary screen, averaged down to 640 x 360 and packed into frame_pixels. 0 when it could not be read.
int capture_screen() {
    awareness_call set;
    HANDLE old = physical_view(&set);
    HDC screen = GetDC(nullptr);
    BOOL copied = FALSE;
    if (screen) {
        int width, height;
        physical_size(screen, old != nullptr, &width, &height);
        if ((width != capture_width || height != capture_height || !capture_dc) &&
            !make_capture(screen, width, height)) {
            ReleaseDC(nullptr, screen);
            if (old) set(old);
            end_remote_session();
            return 0;
        }
        copied = read_screen(screen);
        ReleaseDC(nullptr, screen);
    }
    if (old) set(old);
    if (!copied) return 0;
    reduce_frame((const unsigned *)capture_pixels, capture_width, capture_height, frame_pixels);
    return 1;
}

// 1 when a frame went up, was answered 200 and its commands were applied; 0 lets the status poll decide.
int send_frame() {
    // The bar is on the screen before the first picture of it is taken: the technician sees it too.
    show_bar();
    if (!capture_screen()) return 0;
    if (remote_call(nullptr, frame_pixels) != 200) return 0;
    apply_commands();
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

// The inputs for one command line, into out[0..2]; how many, 0 when the line is skipped.
int remote_inputs(const char *verb, unsigned first, unsigned second, INPUT *out) {
    int click = equal(verb, "clicar"), right = equal(verb, "direito");
    if ((click || right || equal(verb, "mover")) && first <= 319 && second <= 179) {
        // The centre of a cell of the 320 x 180 grid, in the 0..65535 range of absolute moves.
        mouse(out, MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (LONG)((first * 65535 + 32767) / 320),
              (LONG)((second * 65535 + 32767) / 180));
        if (!click && !right) return 1;
        mouse(out + 1, click ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN, 0, 0);
        mouse(out + 2, click ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP, 0, 0);
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

void apply_commands() {
    int refused = 0;
    const char *at = response;
    for (int lines = 0; *at && lines < max_command_lines; lines++) {
        char verb[12];
        unsigned first, second;
        if (!read_command(&at, verb, &first, &second)) break;
        INPUT inputs[3];
        int n = remote_inputs(verb, first, second, inputs);
        if (n && (int)SendInput(n, inputs, sizeof(INPUT)) < n) refused = 1;
    }
    if (refused) remote_refusals++;
}
