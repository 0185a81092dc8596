// A winhttp.dll that never opens a session: the program as it runs where WinHTTP is unavailable.
#include <windows.h>

extern "C" {
BOOL WINAPI stub_entry(HINSTANCE, DWORD, void *) { return TRUE; }
void *WINAPI WinHttpOpen(const wchar_t *, DWORD, const wchar_t *, const wchar_t *, DWORD) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}
void *WINAPI WinHttpConnect(void *, const wchar_t *, WORD, DWORD) { return nullptr; }
void *WINAPI WinHttpOpenRequest(void *, const wchar_t *, const wchar_t *, const wchar_t *, const wchar_t *,
                                const wchar_t **, DWORD) {
    return nullptr;
}
BOOL WINAPI WinHttpCloseHandle(void *) { return FALSE; }
BOOL WINAPI WinHttpSetTimeouts(void *, int, int, int, int) { return FALSE; }
BOOL WINAPI WinHttpSetOption(void *, DWORD, void *, DWORD) { return FALSE; }
BOOL WINAPI WinHttpSendRequest(void *, const wchar_t *, DWORD, void *, DWORD, DWORD, DWORD_PTR) { return FALSE; }
BOOL WINAPI WinHttpReceiveResponse(void *, void *) { return FALSE; }
BOOL WINAPI WinHttpQueryHeaders(void *, DWORD, const wchar_t *, void *, DWORD *, DWORD *) { return FALSE; }
BOOL WINAPI WinHttpReadData(void *, void *, DWORD, DWORD *) { return FALSE; }
BOOL WINAPI WinHttpGetIEProxyConfigForCurrentUser(void *) { return FALSE; }
BOOL WINAPI WinHttpGetProxyForUrl(void *, const wchar_t *, void *, void *) { return FALSE; }
void *WINAPI WinHttpSetStatusCallback(void *, void *, DWORD, DWORD_PTR) { return nullptr; }
BOOL WINAPI WinHttpQueryAuthSchemes(void *, DWORD *, DWORD *, DWORD *) { return FALSE; }
BOOL WINAPI WinHttpSetCredentials(void *, DWORD, DWORD, const wchar_t *, const wchar_t *, void *) { return FALSE; }
}
