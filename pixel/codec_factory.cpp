// CreateRowCodec: picks the codec class for a format, builds the palette of
// the palettized formats and quantises the colour key.

#include "pixel/block_codec.h"
#include "pixel/float_codecs.h"
#include "pixel/linear_formats.h"
#include "pixel/palette_codecs.h"
#include "pixel/pixel_pair_codec.h"

namespace quillmark {

namespace {

template <class L>
std::unique_ptr<RowCodec> Linear(const SurfaceDesc& desc) {
    return std::make_unique<LinearCodec<L>>(desc);
}

std::unique_ptr<RowCodec> NewCodec(const SurfaceDesc& desc) {
    namespace l = layout;
    const PixelFormatInfo& info = LookupPixelFormat(desc.Format);
    if (info.IsPixelPair()) return std::make_unique<PixelPairCodec>(desc);
    if (info.IsBlockCompressed()) return std::make_unique<BlockCompressedCodec>(desc);
    switch (static_cast<std::uint32_t>(desc.Format)) {
    case D3DFMT_R8G8B8: return Linear<l::R8G8B8>(desc);
    case D3DFMT_A8R8G8B8: return Linear<l::A8R8G8B8>(desc);
    case D3DFMT_X8R8G8B8: return Linear<l::X8R8G8B8>(desc);
    case D3DFMT_A2B10G10R10: return Linear<l::A2B10G10R10>(desc);
    case D3DFMT_A8B8G8R8: return Linear<l::A8B8G8R8>(desc);
    case D3DFMT_X8B8G8R8: return Linear<l::X8B8G8R8>(desc);
    case D3DFMT_G16R16: return Linear<l::G16R16>(desc);
    case D3DFMT_A2R10G10B10: return Linear<l::A2R10G10B10>(desc);
    case D3DFMT_R5G6B5: return Linear<l::R5G6B5>(desc);
    case D3DFMT_X1R5G5B5: return Linear<l::X1R5G5B5>(desc);
    case D3DFMT_A1R5G5B5: return Linear<l::A1R5G5B5>(desc);
    case D3DFMT_A4R4G4B4: return Linear<l::A4R4G4B4>(desc);
    case D3DFMT_A8R3G3B2: return Linear<l::A8R3G3B2>(desc);
    case D3DFMT_X4R4G4B4: return Linear<l::X4R4G4B4>(desc);
    case D3DFMT_A8P8: return std::make_unique<A8P8Codec>(desc);
    case D3DFMT_A8L8: return Linear<l::A8L8>(desc);
    case D3DFMT_R3G3B2: return Linear<l::R3G3B2>(desc);
    case D3DFMT_A8: return Linear<l::A8>(desc);
    case D3DFMT_P8: return std::make_unique<P8Codec>(desc);
    case D3DFMT_L8: return Linear<l::L8>(desc);
    case D3DFMT_A4L4: return Linear<l::A4L4>(desc);
    case D3DFMT_A16B16G16R16: return Linear<l::A16B16G16R16>(desc);
    case D3DFMT_L16:
    case D3DFMT_D16_LOCKABLE: return Linear<l::L16>(desc);
    case D3DFMT_V8U8: return Linear<l::V8U8>(desc);
    case D3DFMT_L6V5U5: return Linear<l::L6V5U5>(desc);
    case D3DFMT_CxV8U8: return Linear<l::CxV8U8>(desc);
    case D3DFMT_X8L8V8U8: return Linear<l::X8L8V8U8>(desc);
    case D3DFMT_V16U16: return Linear<l::V16U16>(desc);
    case D3DFMT_A2W10V10U10: return Linear<l::A2W10V10U10>(desc);
    case D3DFMT_Q8W8V8U8: return Linear<l::Q8W8V8U8>(desc);
    case D3DFMT_Q16W16V16U16: return Linear<l::Q16W16V16U16>(desc);
    case D3DFMT_R16F: return std::make_unique<FloatCodec<1, true>>(desc);
    case D3DFMT_G16R16F: return std::make_unique<FloatCodec<2, true>>(desc);
    case D3DFMT_R32F:
    case D3DFMT_D32F_LOCKABLE: return std::make_unique<FloatCodec<1, false>>(desc);
    case D3DFMT_A16B16G16R16F: return std::make_unique<FloatCodec<4, true>>(desc);
    case D3DFMT_G32R32F: return std::make_unique<FloatCodec<2, false>>(desc);
    case D3DFMT_A32B32G32R32F: return std::make_unique<FloatCodec<4, false>>(desc);
    case FORMAT_AL16: return Linear<l::AL16>(desc);
    case FORMAT_R16: return Linear<l::R16>(desc);
    default: return nullptr;
    }
}

bool BoxIsOrdered(const D3DBOX& box) {
    return box.Left <= box.Right && box.Top <= box.Bottom && box.Front <= box.Back;
}

}  // namespace

HRESULT CreateRowCodec(const SurfaceDesc& desc, std::unique_ptr<RowCodec>& codec) {
    codec.reset();
    if (!BoxIsOrdered(desc.Box)) return D3DERR_INVALIDCALL;
    std::unique_ptr<RowCodec> made = NewCodec(desc);
    if (made == nullptr) return E_FAIL;
    if (desc.Format == D3DFMT_P8 || desc.Format == D3DFMT_A8P8) made->BuildPalette(desc);
    if (made->ColorKey() != 0) made->PrepareColorKey();
    codec = std::move(made);
    return S_OK;
}

}  // namespace quillmark
