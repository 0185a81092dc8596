// Screen frames for the technician and the mouse and keyboard commands that come back.
#include "remote.h"
#include "../base/ui.h"
#include "../transport/transport.h"

int remote_refusals;

// The stretch goes into 32 bits per pixel: GDI's halftone into a 16-bit bitmap takes several
// milliseconds longer per frame than this one and the packing below together.
static BITMAPINFO remote_bitmap = {{40, 640, -360, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};

HDC capture_dc;
HBITMAP capture_bitmap, capture_old;
void *capture_pixels;
// What goes up: 640 x 360, 16 bits (5-5-5), rows top first, 460,800 bytes whatever the screen's size.
unsigned short frame_pixels[640 * 360];

// The capture objects live for the whole remote session, so a frame allocates nothing.
static int make_capture(HDC screen) {
    capture_dc = CreateCompatibleDC(screen);
    capture_bitmap = CreateDIBSection(screen, &remote_bitmap, DIB_RGB_COLORS, &capture_pixels, nullptr, 0);
    if (capture_dc && capture_bitmap) {
        capture_old = (HBITMAP)SelectObject(capture_dc, capture_bitmap);
        return 1;
    }
    if (capture_dc) DeleteDC(capture_dc);
    if (capture_bitmap) DeleteObject(capture_bitmap);
    capture_dc = nullptr;
    capture_bitmap = nullptr;
    capture_pixels = nullptr;
    return 0;
}

// The whole primary screen, halftoned to 640 x 360 and packed into frame_pixels. 0 when it could not be read.
int capture_screen() {
    HDC screen = GetDC(nullptr);
    if (!screen) return 0;
    if (!capture_dc && !make_capture(screen)) {
        ReleaseDC(nullptr, screen);
        end_remote_session();
        return 0;
    }
    SetStretchBltMode(capture_dc, HALFTONE);
    SetBrushOrgEx(capture_dc, 0, 0, nullptr);
    BOOL copied = StretchBlt(capture_dc, 0, 0, 640, 360, screen, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                             GetSystemMetrics(SM_CYSCREEN), SRCCOPY);
    GdiFlush();
    ReleaseDC(nullptr, screen);
    if (!copied) return 0;
    const unsigned *from = (const unsigned *)capture_pixels;
    for (int i = 0; i < 640 * 360; i++) {
        unsigned rgb = from[i];
        frame_pixels[i] = (unsigned short)(((rgb >> 9) & 0x7C00) | ((rgb >> 6) & 0x03E0) | ((rgb >> 3) & 0x001F));
    }
    return 1;
}

// 1 when a frame went up, was answered 200 and its commands were applied; 0 lets the status poll decide.
int send_frame() {
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

// Copies one field up to `end` (at most 11 bytes); the byte after it must be `end`. The rest, or null.
static const char *take_field(const char *at, char *dst, char end) {
    copy_to(dst, 12, at, end);
    int n = length(dst);
    return at[n] == end ? at + n + 1 : nullptr;
}

// Leading digits only, stopping once past 65535, so no field can overflow.
static unsigned number(const char *s) { return decimal(&s, 65535); }

// A technician's 350 ms of input is a handful of lines. A flood would keep the window busy for
// seconds and queue its keys ahead of the customer's own click on "Desconectar remoto".
enum { max_command_lines = 128 };

void apply_commands() {
    int refused = 0;
    const char *at = response;
    for (int lines = 0; *at && lines < max_command_lines; lines++) {
        char verb[12], first[12], second[12];
        if (!(at = take_field(at, verb, ' ')) || !(at = take_field(at, first, ' ')) ||
            !(at = take_field(at, second, '\n')))
            break;
        INPUT inputs[3];
        int n = remote_inputs(verb, number(first), number(second), inputs);
        if (n && (int)SendInput(n, inputs, sizeof(INPUT)) < n) refused = 1;
    }
    if (refused) remote_refusals++;
}
