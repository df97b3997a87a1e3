// Texture formats on the OpenGL device (llvmpipe): those the driver samples
// go up as they are stored (the driver says which internal format it holds)
// and read as the reference device decodes them, within the one 8-bit step
// by which two exact conversions to the frame may round apart; another
// format is decoded to float exactly as on the reference device.
#include <random>

#include "gl_fixture.h"
#include "devices/gl/gl_api.h"
#include "devices/gl/gl_context.h"
#include "devices/gl/texture_formats.h"

namespace quillmark::gl::testing {
namespace {

constexpr const char* kGl = "llvmpipe";
constexpr UINT kSide = 16;

class GlTextureUpload : public ::testing::Test {
protected:
    void SetUp() override { QUILLMARK_REQUIRE_GL(kGl); }
};

bool IsHalfFloat(D3DFORMAT f) { return f == D3DFMT_R16F || f == D3DFMT_G16R16F || f == D3DFMT_A16B16G16R16F; }
bool IsFloat(D3DFORMAT f) { return f == D3DFMT_R32F || f == D3DFMT_G32R32F || f == D3DFMT_A32B32G32R32F; }

// Random texels; float formats get values in [0, 1].
void FillRandomly(IDirect3DTexture9* texture, D3DFORMAT format) {
    std::mt19937 random(format);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), S_OK);
    auto* bytes = static_cast<std::uint8_t*>(locked.pBits);
    const bool blocks = format == D3DFMT_DXT1 || format == D3DFMT_DXT3 || format == D3DFMT_DXT5;
    const std::size_t size = std::size_t(locked.Pitch) * (blocks ? kSide / 4 : kSide);  // the pitch of a row of blocks
    if (IsHalfFloat(format)) {
        for (std::size_t i = 0; i + 2 <= size; i += 2) {
            const auto half = std::uint16_t(random() % 0x3C01);  // 0 .. 1.0
            std::memcpy(bytes + i, &half, 2);
        }
    } else if (IsFloat(format)) {
        for (std::size_t i = 0; i + 4 <= size; i += 4) {
            const float value = float(random() % 1001) / 1000.0f;
            std::memcpy(bytes + i, &value, 4);
        }
    } else {
        for (std::size_t i = 0; i < size; ++i) bytes[i] = std::uint8_t(random());
    }
    texture->UnlockRect(0);
}

// A texture of `format` drawn at one texel per pixel with point filters:
// its colour at (0, 0), its alpha (replicated) at (32, 0). False when the
// device cannot create it.
bool DrawFormat(Device& device, D3DFORMAT format) {
    IDirect3DTexture9* texture = nullptr;
    if (device->CreateTexture(kSide, kSide, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr) != S_OK) return false;
    FillRandomly(texture, format);
    device->SetTexture(0, texture);
    texture->Release();
    device.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    EXPECT_EQ(device.DrawQuad(0, 0, kSide, kSide, 0, 0, 1, 1), S_OK);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
    EXPECT_EQ(device.DrawQuad(32, 0, 32 + kSide, kSide, 0, 0, 1, 1), S_OK);
    return true;
}

// The internal format of the OpenGL texture stage 0 samples, asked of the
// driver in the device's context (current after a draw).
GLint InternalFormatAtStageZero() {
    const auto levelParameter =
        reinterpret_cast<PFNGLGETTEXLEVELPARAMETERIVPROC>(eglGetProcAddress("glGetTexLevelParameteriv"));
    glActiveTexture(GL_TEXTURE0);
    GLint internalFormat = 0;
    levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internalFormat);
    return internalFormat;
}

int LargestChannelDifference(std::uint32_t a, std::uint32_t b) {
    int largest = 0;
    for (int shift : {0, 8, 16, 24})
        largest = std::max(largest, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return largest;
}

TEST_F(GlTextureUpload, EveryFormatTheDriverSamplesReadsAsTheReferenceDecodesIt) {
    GlChoice choice;
    ASSERT_TRUE(ParseGlChoice(kGl, &choice));
    std::string error;
    const std::shared_ptr<GlContext> context = GlContext::Open(choice, &error);
    ASSERT_NE(context, nullptr) << error;
    int checked = 0;
    for (const GlTextureFormat& format : GlTextureFormats()) {
        if (!NativeFormatOf(format.format, context->Info().nativeFormats)) continue;
        Device reference("reference"), gl(kGl);
        if (!DrawFormat(reference, format.format)) continue;  // not a format the device samples
        ASSERT_TRUE(DrawFormat(gl, format.format)) << format.name;
        EXPECT_EQ(InternalFormatAtStageZero(), GLint(format.internalFormat)) << format.name << " not uploaded as stored";
        const std::vector<std::uint32_t> expected = reference.Frame(), frame = gl.Frame();
        // DXT colours are blends of two endpoints: decoders may round a blend apart.
        const int tolerance = format.dataFormat == 0 ? 3 : 1;
        int largest = 0;
        for (std::size_t i = 0; i < frame.size(); ++i)
            largest = std::max(largest, LargestChannelDifference(expected[i], frame[i]));
        EXPECT_LE(largest, tolerance) << format.name;
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

TEST_F(GlTextureUpload, AFormatOutsideTheTableIsDecodedToFloat) {
    Device reference("reference"), gl(kGl);
    ASSERT_TRUE(DrawFormat(reference, D3DFMT_A4L4));
    ASSERT_TRUE(DrawFormat(gl, D3DFMT_A4L4));
    EXPECT_EQ(InternalFormatAtStageZero(), GLint(GL_RGBA32F));
    EXPECT_EQ(Differences(reference.Frame(), gl.Frame()), 0);
}

}  // namespace
}  // namespace quillmark::gl::testing
