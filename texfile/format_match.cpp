#include "format_match.h"

#include "library_switches.h"

namespace quillmark {
namespace {

constexpr std::uint32_t kSurplusChannel = 0x100;
constexpr std::uint32_t kMissingChannel = 0x1000000;

void ScoreChannel(std::uint32_t wanted, std::uint32_t candidate, std::uint32_t& score, std::uint32_t& present) {
    if (wanted > 0) ++present;
    if (wanted < candidate) score += wanted == 0 ? kSurplusChannel : candidate - wanted;
    else if (wanted > candidate) score += candidate == 0 ? kMissingChannel : (wanted - candidate) << 16;
}

// The list and device searches share this step: take `row` when it scores
// better, or equal with strictly fewer bits per pixel.
struct BestMatch {
    const PixelFormatInfo* row = &UnknownPixelFormat;
    std::uint32_t score = kUnusableScore;

    void Offer(const PixelFormatInfo& wanted, const PixelFormatInfo& candidate) {
        const std::uint32_t s = FormatMatchScore(wanted, candidate);
        if (s == kUnusableScore || s > score) return;
        if (s == score && candidate.bitsPerPixel >= row->bitsPerPixel) return;
        row = &candidate;
        score = s;
    }
    D3DFORMAT Format() const { return static_cast<D3DFORMAT>(row->format); }
};

bool IsInTable(const PixelFormatInfo& row) { return &row != &UnknownPixelFormat; }

// The facts CheckDeviceFormat needs, read from the device.
struct DeviceQuery {
    IDirect3D9* direct3d = nullptr;
    UINT adapter = 0;
    D3DDEVTYPE deviceType = D3DDEVTYPE_HAL;
    D3DFORMAT adapterFormat = D3DFMT_UNKNOWN;
    DWORD usage = 0;

    bool Open(IDirect3DDevice9* device, DWORD requestedUsage) {
        usage = requestedUsage;
        D3DCAPS9 caps{};
        D3DDISPLAYMODE mode{};
        if (FAILED(device->GetDirect3D(&direct3d))) return false;
        if (FAILED(device->GetDeviceCaps(&caps)) || FAILED(device->GetDisplayMode(0, &mode))) return false;
        adapter = caps.AdapterOrdinal;
        deviceType = caps.DeviceType;
        adapterFormat = mode.Format;
        if (usage & D3DUSAGE_QUERY_VERTEXTEXTURE) {
            D3DDEVICE_CREATION_PARAMETERS parameters{};
            if (SUCCEEDED(device->GetCreationParameters(&parameters)) &&
                (parameters.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING))
                usage |= D3DUSAGE_SOFTWAREPROCESSING;
        }
        return true;
    }
    bool Supports(D3DRESOURCETYPE type, const PixelFormatInfo& row) const {
        return direct3d == nullptr ||
               SUCCEEDED(direct3d->CheckDeviceFormat(adapter, deviceType, adapterFormat, usage, type,
                                                     static_cast<D3DFORMAT>(row.format)));
    }
    ~DeviceQuery() {
        if (direct3d != nullptr) direct3d->Release();
    }
};

}  // namespace

std::uint32_t FormatMatchScore(const PixelFormatInfo& wanted, const PixelFormatInfo& candidate) {
    if (wanted.kind >= PIXEL_KIND_COUNT || candidate.kind >= PIXEL_KIND_COUNT) return kUnusableScore;
    if (!KindCompatibility[wanted.kind][candidate.kind]) return kUnusableScore;
    std::uint32_t score = 0;
    std::uint32_t present = 0;
    ScoreChannel(wanted.extraBits, candidate.extraBits, score, present);
    ScoreChannel(wanted.alphaBits, candidate.alphaBits, score, present);
    ScoreChannel(wanted.redBits, candidate.redBits, score, present);
    ScoreChannel(wanted.greenBits, candidate.greenBits, score, present);
    ScoreChannel(wanted.blueBits, candidate.blueBits, score, present);
    return (score >> 24) == present ? kUnusableScore : score;
}

D3DFORMAT MatchFormatInList(const D3DFORMAT* list, BOOL allowPalettized, const PixelFormatInfo& wanted) {
    BestMatch best;
    for (; list != nullptr && *list != 0; ++list) {
        const PixelFormatInfo& row = LookupPixelFormat(*list);
        if (!IsInTable(row)) continue;
        if (row.kind == PIXEL_KIND_PALETTIZED && !allowPalettized) continue;
        if (row.format == wanted.format) return *list;
        best.Offer(wanted, row);
    }
    return best.Format();
}

D3DFORMAT MatchFormatOnDevice(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE resourceType,
                              const PixelFormatInfo& wanted) {
    MuteDebugRuntime(1);
    BestMatch best;
    {
        DeviceQuery query;
        if (device == nullptr || query.Open(device, usage)) {
            for (const PixelFormatInfo& row : PixelFormatTable) {
                if (!query.Supports(resourceType, row)) continue;
                if (row.format == wanted.format) {
                    best.row = &row;
                    break;
                }
                if (row.substitutable) best.Offer(wanted, row);
            }
        }
    }
    MuteDebugRuntime(0);
    return best.Format();
}

D3DFORMAT MapInternalFormat(D3DFORMAT format) {
    if (format == FORMAT_AL16) return D3DFMT_A8L8;
    if (format == FORMAT_R16) return D3DFMT_R8G8B8;
    return format;
}

}  // namespace quillmark
