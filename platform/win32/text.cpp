// UTF-16 and UTF-8 conversion for the wide-character entry points. Both
// 8-bit code pages (CP_ACP and CP_UTF8) are UTF-8; malformed input becomes
// U+FFFD, unless MB_ERR_INVALID_CHARS asks for failure.
#include "platform/win32/winbase.h"

#include <string>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

std::size_t Length16(LPCWCH text, int count) {
    if (count >= 0) return static_cast<std::size_t>(count);
    std::size_t n = 0;
    while (text[n]) ++n;
    return n + 1;
}

char32_t NextFrom16(LPCWCH text, std::size_t size, std::size_t& i) {
    const char32_t unit = text[i++];
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    if (unit >= 0xDC00 || i >= size || text[i] < 0xDC00 || text[i] > 0xDFFF) return kReplacement;
    const char32_t low = text[i++];
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

void Append8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One code point from UTF-8, or kReplacement (and `bad`) for a malformed one.
char32_t NextFrom8(const unsigned char* text, std::size_t size, std::size_t& i, bool& bad) {
    const unsigned char lead = text[i++];
    if (lead < 0x80) return lead;
    int extra = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    if (lead >= 0xF5 || extra < 0) {
        bad = true;
        return kReplacement;
    }
    char32_t c = lead & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= size || (text[i] & 0xC0) != 0x80) {
            bad = true;
            return kReplacement;
        }
        c = (c << 6) | (text[i++] & 0x3F);
    }
    static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        bad = true;
        return kReplacement;
    }
    return c;
}

void Append16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

template <typename Unit>
int Deliver(const std::basic_string<Unit>& result, Unit* out, int room) {
    const int needed = static_cast<int>(result.size());
    if (room == 0) return needed;
    if (room < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    result.copy(out, result.size());
    return needed;
}

}  // namespace

int WideCharToMultiByte(UINT codePage, DWORD, LPCWCH wideText, int wideCount, LPSTR text,
                        int textBytes, LPCCH defaultChar, LPBOOL usedDefaultChar) {
    if ((codePage != CP_UTF8 && codePage != CP_ACP) || !wideText || wideCount == 0 ||
        textBytes < 0 || (textBytes > 0 && !text) || defaultChar || usedDefaultChar) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t size = Length16(wideText, wideCount);
    std::string result;
    for (std::size_t i = 0; i < size;) Append8(result, NextFrom16(wideText, size, i));
    return Deliver(result, text, textBytes);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int textBytes,
                        LPWSTR wideText, int wideCount) {
    if ((codePage != CP_UTF8 && codePage != CP_ACP) || !text || textBytes == 0 ||
        wideCount < 0 || (wideCount > 0 && !wideText)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const std::size_t size =
        textBytes >= 0 ? static_cast<std::size_t>(textBytes) : std::char_traits<char>::length(text) + 1;
    std::u16string result;
    bool bad = false;
    for (std::size_t i = 0; i < size;) Append16(result, NextFrom8(bytes, size, i, bad));
    if (bad && (flags & MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return Deliver(result, wideText, wideCount);
}
