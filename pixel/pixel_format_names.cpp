#include "pixel/pixel_format_names.h"

#include "pixel/pixel_format.h"

#include <algorithm>
#include <cctype>

namespace quillmark {
namespace {

struct FormatName {
    D3DFORMAT format;
    std::string_view name;
};

#define QUILLMARK_FORMAT(f) {D3DFMT_##f, #f}
// clang-format off
constexpr FormatName kFormatNames[] = {
    QUILLMARK_FORMAT(R8G8B8), QUILLMARK_FORMAT(A8R8G8B8), QUILLMARK_FORMAT(X8R8G8B8), QUILLMARK_FORMAT(R5G6B5),
    QUILLMARK_FORMAT(X1R5G5B5), QUILLMARK_FORMAT(A8P8), QUILLMARK_FORMAT(P8), QUILLMARK_FORMAT(A1R5G5B5),
    QUILLMARK_FORMAT(A4R4G4B4), QUILLMARK_FORMAT(R3G3B2), QUILLMARK_FORMAT(A8), QUILLMARK_FORMAT(A8R3G3B2),
    QUILLMARK_FORMAT(X4R4G4B4), QUILLMARK_FORMAT(A2B10G10R10), QUILLMARK_FORMAT(A8B8G8R8), QUILLMARK_FORMAT(X8B8G8R8),
    QUILLMARK_FORMAT(G16R16), QUILLMARK_FORMAT(A2R10G10B10), QUILLMARK_FORMAT(A16B16G16R16), QUILLMARK_FORMAT(L8),
    QUILLMARK_FORMAT(A8L8), QUILLMARK_FORMAT(A4L4), QUILLMARK_FORMAT(L16), QUILLMARK_FORMAT(V8U8),
    QUILLMARK_FORMAT(L6V5U5), QUILLMARK_FORMAT(X8L8V8U8), QUILLMARK_FORMAT(Q8W8V8U8), QUILLMARK_FORMAT(V16U16),
    QUILLMARK_FORMAT(A2W10V10U10), QUILLMARK_FORMAT(Q16W16V16U16), QUILLMARK_FORMAT(CxV8U8), QUILLMARK_FORMAT(UYVY),
    QUILLMARK_FORMAT(R8G8_B8G8), QUILLMARK_FORMAT(YUY2), QUILLMARK_FORMAT(G8R8_G8B8), QUILLMARK_FORMAT(DXT1),
    QUILLMARK_FORMAT(DXT2), QUILLMARK_FORMAT(DXT3), QUILLMARK_FORMAT(DXT4), QUILLMARK_FORMAT(DXT5),
    QUILLMARK_FORMAT(D16_LOCKABLE), QUILLMARK_FORMAT(D32F_LOCKABLE), QUILLMARK_FORMAT(D32), QUILLMARK_FORMAT(D15S1),
    QUILLMARK_FORMAT(D24S8), QUILLMARK_FORMAT(D16), QUILLMARK_FORMAT(D24X8), QUILLMARK_FORMAT(D24X4S4),
    QUILLMARK_FORMAT(D24FS8), QUILLMARK_FORMAT(R16F), QUILLMARK_FORMAT(G16R16F), QUILLMARK_FORMAT(A16B16G16R16F),
    QUILLMARK_FORMAT(R32F), QUILLMARK_FORMAT(G32R32F), QUILLMARK_FORMAT(A32B32G32R32F),
    {FORMAT_AL16, "AL16"}, {FORMAT_R16, "R16"},
};
// clang-format on
#undef QUILLMARK_FORMAT

static_assert(std::size(kFormatNames) == PIXEL_FORMAT_COUNT, "every format of the table has a name");

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string PixelFormatName(D3DFORMAT format) {
    for (const FormatName& entry : kFormatNames)
        if (entry.format == format) return std::string(entry.name);
    return "format " + std::to_string(static_cast<unsigned>(format));
}

D3DFORMAT PixelFormatByName(std::string_view name) {
    constexpr std::string_view kPrefix = "D3DFMT_";
    if (name.size() > kPrefix.size() && SameLetters(name.substr(0, kPrefix.size()), kPrefix))
        name.remove_prefix(kPrefix.size());
    for (const FormatName& entry : kFormatNames)
        if (SameLetters(entry.name, name)) return entry.format;
    return D3DFMT_UNKNOWN;
}

}  // namespace quillmark
