// A module's directory as the ANSI code page spells it, and its full name where that spelling
// lost characters. Shared by the plug-in's entry point and talvik-sim on Windows.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

namespace ats::platform {

struct module_directory {
    static constexpr DWORD path_size = 260;

    // Drive and directory with the trailing backslash, as _splitpath splits them; empty when
    // unknown. Kept exactly as GetModuleFileNameA gives it, so nothing changes where it is right.
    char ansi[path_size] = {};
    // The same directory from GetModuleFileNameW, only when the ANSI spelling lost a character
    // (a "?" does not name the folder); empty otherwise.
    wchar_t wide[path_size] = {};

    void capture(HMODULE module) {
        ansi[0] = '\0';
        wide[0] = L'\0';
        char path[path_size];
        const DWORD length = GetModuleFileNameA(module, path, path_size);
        // A path cut at the buffer's end names some ancestor directory: keep nothing rather than
        // that.
        if (length == 0 || length >= path_size) return;
        std::size_t keep = (length >= 2 && path[1] == ':') ? 2 : 0;
        for (DWORD i = 0; i < length; ++i) {
            // In a double-byte code page a second byte may equal '\\' without being a separator.
            if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < length) {
                ++i;
            } else if (path[i] == '\\' || path[i] == '/') {
                keep = i + 1;
            }
        }
        std::memcpy(ansi, path, keep);
        ansi[keep] = '\0';

        wchar_t full[path_size];
        const DWORD full_length = GetModuleFileNameW(module, full, path_size);
        if (full_length == 0 || full_length >= path_size) return;
        wchar_t spelt[path_size];
        const int spelt_length =
            MultiByteToWideChar(CP_ACP, 0, path, static_cast<int>(length), spelt, path_size);
        const bool faithful = spelt_length == static_cast<int>(full_length) &&
                              std::wmemcmp(spelt, full, full_length) == 0;
        if (faithful) return;
        std::size_t wide_keep = 0;
        for (DWORD i = 0; i < full_length; ++i) {
            if (full[i] == L'\\' || full[i] == L'/') wide_keep = i + 1;
        }
        std::wmemcpy(wide, full, wide_keep);
        wide[wide_keep] = L'\0';
    }

    // The full name of `path` when it lies in this directory and the ANSI spelling cannot name
    // it; false otherwise (open `path` itself then).
    bool widen(const char* path, wchar_t* out, std::size_t out_size) const {
        const std::size_t dir_length = std::strlen(ansi);
        if (wide[0] == L'\0' || dir_length == 0 || std::strncmp(path, ansi, dir_length) != 0) {
            return false;
        }
        const std::size_t wide_length = std::wcslen(wide);
        if (wide_length >= out_size) return false;
        std::wmemcpy(out, wide, wide_length);
        const char* rest = path + dir_length;
        const int rest_length = MultiByteToWideChar(CP_ACP, 0, rest, -1, out + wide_length,
                                                    static_cast<int>(out_size - wide_length));
        return rest_length > 0;
    }
};

} // namespace ats::platform
