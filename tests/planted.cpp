// A DLL as a web page could leave in the customer's Downloads folder, copied there under the names of
// system DLLs: loading it leaves a mark, an empty file named after the copy, in %HALVOREN_MARKS%.
// As version.dll it answers the three calls Wine's user32 imports from it (planted.def), finding no
// version information, so a program that loads it goes on running.
#include <windows.h>

extern "C" {
DWORD WINAPI no_version_size(const wchar_t *, DWORD *handle) {
    if (handle) *handle = 0;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}
BOOL WINAPI no_version_info(const wchar_t *, DWORD, DWORD, void *) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}
BOOL WINAPI no_version_value(const void *, const wchar_t *, void **, UINT *) { return FALSE; }
}

extern "C" BOOL WINAPI planted_entry(HINSTANCE self, DWORD reason, void *) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[2 * MAX_PATH], name[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"HALVOREN_MARKS", path, MAX_PATH);
    DWORD m = GetModuleFileNameW(self, name, MAX_PATH);
    if (!n || n >= MAX_PATH || !m || m >= MAX_PATH) return TRUE;
    const wchar_t *base = name;
    for (DWORD i = 0; i < m; i++)
        if (name[i] == L'\\' || name[i] == L'/') base = name + i + 1;
    path[n++] = L'\\';
    while (*base) path[n++] = *base++;
    path[n] = 0;
    HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    return TRUE;
}
