// Stack protection without a runtime: the guard value the compiler's checks compare against and the
// routine they call when it was overwritten.
#include "../base/ui.h"

extern "C" {

// Set from random sources before anything else runs; until then a fixed value still catches overruns.
unsigned long long __stack_chk_guard = 0x2B992DDFA232ULL;

// The stack was overwritten: the return address can no longer be trusted, so nothing of this
// process runs again, not even DLL detach notifications. 0xC0000409 is STATUS_STACK_BUFFER_OVERRUN,
// the code Windows' own cookie checks end a process with.
__attribute__((noreturn)) void __stack_chk_fail() {
    for (;;) TerminateProcess(GetCurrentProcess(), 0xC0000409);
}
}

typedef LONG(WINAPI *gen_random)(void *, unsigned char *, ULONG, ULONG);

// No canary of its own: it changes the value a canary would be checked against.
__attribute__((no_stack_protector)) void seed_stack_guard() {
    unsigned long long seed = 0;
    // The system's generator, looked up at run time so the program imports nothing more.
    // 2 = BCRYPT_USE_SYSTEM_PREFERRED_RNG (Windows 7 and later).
    HMODULE bcrypt = system_library(L"bcrypt.dll");
    gen_random gen = bcrypt ? (gen_random)(void *)GetProcAddress(bcrypt, "BCryptGenRandom") : nullptr;
    if (!gen || gen(nullptr, (unsigned char *)&seed, sizeof seed, 2) < 0) seed = 0;
    // Mixed in always, and all there is where the generator is missing: the value the loader gave the
    // guard (the load configuration names it), the counter's low bits, the clocks, the ids and the
    // addresses ASLR places.
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    unsigned long long parts[] = {__stack_chk_guard,
                                  (unsigned long long)counter.QuadPart,
                                  GetTickCount64(),
                                  ((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime,
                                  ((unsigned long long)GetCurrentProcessId() << 32) | GetCurrentThreadId(),
                                  (unsigned long long)&seed,
                                  (unsigned long long)(void *)seed_stack_guard};
    for (unsigned long long part : parts) {
        seed ^= part;
        // A 64-bit mix (splitmix64's) spreads every input bit over the whole value.
        seed += 0x9E3779B97F4A7C15ULL;
        seed = (seed ^ (seed >> 30)) * 0xBF58476D1CE4E5B9ULL;
        seed = (seed ^ (seed >> 27)) * 0x94D049BB133111EBULL;
        seed ^= seed >> 31;
    }
    // A zero byte at the bottom stops string overruns that copy up to a terminator from rebuilding it.
    __stack_chk_guard = seed & ~0xFFULL;
}
