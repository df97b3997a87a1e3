#include "imagecodec/header_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace quillmark::header_text {

std::string_view Line(const BYTE* text, std::size_t available) {
    const std::size_t window = std::min(available, kMaxLine);
    const void* feed = std::memchr(text, '\n', window);
    if (feed == nullptr) return {};
    return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(static_cast<const BYTE*>(feed) - text)};
}

void SkipSpaces(std::string_view& text) {
    while (!text.empty() && IsSpace(static_cast<BYTE>(text.front()))) text.remove_prefix(1);
}

bool TakeUnsigned(std::string_view& text, std::uint64_t& value) {
    SkipSpaces(text);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool TakeFloat(std::string_view& text, float& value) {
    SkipSpaces(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool OnlySpacesLeft(std::string_view text) {
    SkipSpaces(text);
    return text.empty();
}

}  // namespace quillmark::header_text
