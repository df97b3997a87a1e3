#include "devices/gl/texture_formats.h"

#include <algorithm>

#include "devices/gl/gl_api.h"

namespace quillmark::gl {
namespace {

constexpr std::array<int, 4> kRgba = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
constexpr std::array<int, 4> kRgbOne = {GL_RED, GL_GREEN, GL_BLUE, GL_ONE};
constexpr std::array<int, 4> kRgOneOne = {GL_RED, GL_GREEN, GL_ONE, GL_ONE};
constexpr std::array<int, 4> kROneOneOne = {GL_RED, GL_ONE, GL_ONE, GL_ONE};
constexpr std::array<int, 4> kLuminance = {GL_RED, GL_RED, GL_RED, GL_ONE};
constexpr std::array<int, 4> kLuminanceAlpha = {GL_RED, GL_RED, GL_RED, GL_GREEN};
constexpr std::array<int, 4> kAlphaOnly = {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED};

constexpr GlTextureFormat kFormats[] = {
    {D3DFMT_A8R8G8B8, "A8R8G8B8", GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, kRgba, true},
    {D3DFMT_X8R8G8B8, "X8R8G8B8", GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, kRgbOne, true},
    {D3DFMT_R5G6B5, "R5G6B5", GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, kRgbOne, false},
    {D3DFMT_X1R5G5B5, "X1R5G5B5", GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, kRgbOne, false},
    {D3DFMT_A1R5G5B5, "A1R5G5B5", GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, kRgba, false},
    {D3DFMT_A4R4G4B4, "A4R4G4B4", GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, kRgba, false},
    {D3DFMT_A8, "A8", GL_R8, GL_RED, GL_UNSIGNED_BYTE, kAlphaOnly, true},
    {D3DFMT_X4R4G4B4, "X4R4G4B4", GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, kRgbOne, false},
    {D3DFMT_A2B10G10R10, "A2B10G10R10", GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, kRgba, true},
    {D3DFMT_A8B8G8R8, "A8B8G8R8", GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, kRgba, true},
    {D3DFMT_X8B8G8R8, "X8B8G8R8", GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, kRgbOne, true},
    {D3DFMT_G16R16, "G16R16", GL_RG16, GL_RG, GL_UNSIGNED_SHORT, kRgOneOne, true},
    {D3DFMT_A2R10G10B10, "A2R10G10B10", GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, kRgba, true},
    {D3DFMT_A16B16G16R16, "A16B16G16R16", GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, kRgba, true},
    {D3DFMT_L8, "L8", GL_R8, GL_RED, GL_UNSIGNED_BYTE, kLuminance, true},
    {D3DFMT_A8L8, "A8L8", GL_RG8, GL_RG, GL_UNSIGNED_BYTE, kLuminanceAlpha, true},
    {D3DFMT_L16, "L16", GL_R16, GL_RED, GL_UNSIGNED_SHORT, kLuminance, true},
    {D3DFMT_R16F, "R16F", GL_R16F, GL_RED, GL_HALF_FLOAT, kROneOneOne, true},
    {D3DFMT_G16R16F, "G16R16F", GL_RG16F, GL_RG, GL_HALF_FLOAT, kRgOneOne, true},
    {D3DFMT_A16B16G16R16F, "A16B16G16R16F", GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, kRgba, true},
    {D3DFMT_R32F, "R32F", GL_R32F, GL_RED, GL_FLOAT, kROneOneOne, true},
    {D3DFMT_G32R32F, "G32R32F", GL_RG32F, GL_RG, GL_FLOAT, kRgOneOne, true},
    {D3DFMT_A32B32G32R32F, "A32B32G32R32F", GL_RGBA32F, GL_RGBA, GL_FLOAT, kRgba, true},
    {D3DFMT_DXT1, "DXT1", GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, kRgba, false},
    {D3DFMT_DXT3, "DXT3", GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, kRgba, false},
    {D3DFMT_DXT5, "DXT5", GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, kRgba, false},
};

bool Compressed(const GlTextureFormat& f) { return f.dataFormat == 0; }

// Whether the driver filters textures of this internal format fully.
bool DriverFilters(unsigned internalFormat) {
    GLint supported = GL_FALSE, filter = GL_NONE;
    glGetInternalformativ(GL_TEXTURE_2D, internalFormat, GL_INTERNALFORMAT_SUPPORTED, 1, &supported);
    glGetInternalformativ(GL_TEXTURE_2D, internalFormat, GL_FILTER, 1, &filter);
    return supported == GL_TRUE && filter == GL_FULL_SUPPORT;
}

}  // namespace

std::span<const GlTextureFormat> GlTextureFormats() { return kFormats; }

const GlTextureFormat* NativeFormatOf(D3DFORMAT format, const std::vector<D3DFORMAT>& native) {
    if (std::find(native.begin(), native.end(), format) == native.end()) return nullptr;
    for (const GlTextureFormat& f : kFormats)
        if (f.format == format) return &f;
    return nullptr;
}

std::vector<D3DFORMAT> QueryNativeFormats(bool s3tc, bool internalFormatQuery) {
    std::vector<D3DFORMAT> native;
    for (const GlTextureFormat& f : kFormats) {
        const bool sampled = Compressed(f) ? s3tc && (!internalFormatQuery || DriverFilters(f.internalFormat))
                             : internalFormatQuery ? DriverFilters(f.internalFormat)
                                                   : f.requiredByCore;
        if (sampled) native.push_back(f.format);
    }
    return native;
}

}  // namespace quillmark::gl
