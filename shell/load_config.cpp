// The program's load configuration: what the Windows loader reads from the file before any of the
// program runs. Linked into the program alone; cmake/set_load_config.py points the header at it.
#include <windows.h>
#include <stddef.h>

extern "C" unsigned long long __stack_chk_guard;

// IMAGE_LOAD_CONFIG_DIRECTORY64 as far as the security cookie, and no further: the guard and flow
// tables after it are MSVC's, and a size that covered them would ask the loader to read them. (Debian
// 12's headers still call the dependent load flags Reserved1.)
struct load_configuration {
    DWORD size, time_stamp;
    WORD major_version, minor_version;
    DWORD global_flags_clear, global_flags_set, critical_section_timeout;
    ULONGLONG decommit_block, decommit_total, lock_prefixes, largest_allocation, virtual_memory_threshold,
        affinity;
    DWORD heap_flags;
    WORD service_pack, dependent_load_flags;
    ULONGLONG edit_list, security_cookie;
};
static_assert(offsetof(load_configuration, service_pack) == offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, CSDVersion), "");
static_assert(offsetof(load_configuration, security_cookie) == offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, SecurityCookie),
              "");
static_assert(sizeof(load_configuration) == offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, SEHandlerTable), "");

extern "C" const load_configuration _load_config_used = {
    sizeof(load_configuration),
    // No time stamp, versions, global flags, time-out, heap thresholds, lock prefixes, limits,
    // affinity, heap flags or service pack.
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // The program's imports that are not KnownDLLs (WINHTTP, WINMM) come from System32, never from the
    // program's folder, which is the customer's Downloads folder as often as not. Windows 10 1607 and
    // later honour it; earlier versions, and Wine, ignore the field.
    LOAD_LIBRARY_SEARCH_SYSTEM32,
    0,
    // The stack guard holds the loader's default cookie value until it is seeded, so the loader gives
    // it a random value of its own before anything runs, which the seeding then mixes in.
    (ULONGLONG)&__stack_chk_guard,
};
