// UTF-8 inside the program, UTF-16 at the Windows API (Windows build only).
#pragma once
#include <string>

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// Forward slashes as the program writes paths, back slashes as Windows does.
std::string WithForwardSlashes(std::string path);
// errno value nearest to a Windows error code (GetLastError, WSAGetLastError).
int ErrnoOfWindowsError(unsigned long error);
