// Cutting the conversation into messages and the messages into list rows.
#include "chat.h"
#include "../base/text.h"

chat_row chat_rows[chat_rows_size] guard_zone(chat_rows);
int chat_row_count;

static const wchar_t technician_prefix[] = L"Técnico: ";
static const wchar_t customer_prefix[] = L"Cliente: ";
enum { prefix_units = 9, row_units = 110, row_line_feeds = 6 };

// A line feed ends a message only before the end of the text or before the next message's prefix.
static int ends_message(const wchar_t *at) {
    return at[0] == L'\n' && (at[1] == 0 || starts_with(at + 1, technician_prefix) ||
                              starts_with(at + 1, customer_prefix));
}

// Cuts one message body into rows of at most 110 units and 6 line feeds, at the last space or line
// feed when there is one.
static void cut_body(const wchar_t *body, const wchar_t *end, int side) {
    while (body < end && chat_row_count < chat_rows_size) {
        int left = (int)(end - body);
        int n = 0, k = 0, b = 0;
        while (n < left && n < row_units && k < row_line_feeds) {
            wchar_t c = body[n++];
            if (c == L'\n') k++;
            if (c == L' ' || c == L'\n') b = n;
        }
        int taken = n == left ? n : (b ? b : n);
        // Never split a surrogate pair; a lone high surrogate takes its neighbour along all the same.
        if (taken < left && body[taken - 1] >= 0xD800 && body[taken - 1] <= 0xDBFF) taken++;
        chat_row &row = chat_rows[chat_row_count++];
        row.text = body;
        row.length = taken;
        row.side = side;
        body += taken;
    }
}

int chat_split(const wchar_t *text) {
    chat_row_count = 0;
    const wchar_t *p = text;
    // Rows past the last record would be dropped anyway, so the walk stops there.
    while (*p && chat_row_count < chat_rows_size) {
        int side = 1;
        if (starts_with(p, technician_prefix)) {
            side = 0;
            p += prefix_units;
        } else if (starts_with(p, customer_prefix)) {
            p += prefix_units;
        }
        const wchar_t *end = p;
        while (*end && !ends_message(end)) end++;
        cut_body(p, end, side);
        p = end;
        if (*p == L'\n') p++;
    }
    return chat_row_count;
}
