#include "wide_text.h"

#include <windows.h>
#include <winsock2.h>

#include <cerrno>

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string WithForwardSlashes(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

int ErrnoOfWindowsError(unsigned long error) {
    struct Pair {
        unsigned long windows;
        int posix;
    };
    static constexpr Pair kPairs[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT},   {ERROR_PATH_NOT_FOUND, ENOENT},     {ERROR_ACCESS_DENIED, EACCES},
        {ERROR_SHARING_VIOLATION, EBUSY}, {ERROR_ALREADY_EXISTS, EEXIST},     {ERROR_FILE_EXISTS, EEXIST},
        {ERROR_DISK_FULL, ENOSPC},        {ERROR_HANDLE_DISK_FULL, ENOSPC},   {ERROR_INVALID_NAME, ENOENT},
        {ERROR_DIRECTORY, ENOTDIR},       {ERROR_BAD_UNIT, ENODEV},           {ERROR_DEV_NOT_EXIST, ENODEV},
        {ERROR_OPERATION_ABORTED, EIO},   {ERROR_GEN_FAILURE, EIO},           {WSAECONNRESET, ECONNRESET},
        {WSAECONNABORTED, ECONNABORTED},  {WSAENOTCONN, ENOTCONN},            {WSAETIMEDOUT, ETIMEDOUT},
        {WSAECONNREFUSED, ECONNREFUSED},  {WSAEHOSTUNREACH, EHOSTUNREACH},   {WSAENETUNREACH, ENETUNREACH},
        {WSAEWOULDBLOCK, EWOULDBLOCK},    {WSAEINPROGRESS, EINPROGRESS},      {WSAEINVAL, EINVAL},
        {WSAEADDRINUSE, EADDRINUSE},      {WSAESHUTDOWN, EPIPE},              {WSAENOTSOCK, EBADF},
    };
    for (const Pair& p : kPairs)
        if (p.windows == error) return p.posix;
    return EIO;
}
