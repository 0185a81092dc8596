// Reading the queue's and the presence's answers: pure, so they can be tested from tables.
#pragma once

// What one answer of the queue says; ok is 0 for any status but 200.
struct queue_reading {
    int ok, ticket, balance, waiting, in_service, completed, cancelled, position;
    // When the ticket entered the queue (waiting) or the service started (in service), as a FILETIME
    // count; 0 when the answer has no readable time.
    unsigned long long start;
};
queue_reading read_queue(int status, const char *body);

// The time of "key": "YYYY-MM-DDTHH:MM:SS", perhaps a fraction and a zone, as a FILETIME count
// (100 ns units since 1601, UTC); 0 when it is missing or not a real date.
unsigned long long ticket_start(const char *body, const char *key);

// The presence an answer gives: 1 online, 0 offline, -1 unknown.
int read_presence(int status, const char *body);
