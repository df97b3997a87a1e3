// RESAMPLE_LINEAR: bilinear for 2-D jobs, trilinear for volumes. Source rows
// are decoded once each while they are needed: a small cache keeps the rows
// of the current destination row and reuses them for the next.
#include <array>

#include "pixel/conversion_job.h"
#include "pixel/resample.h"

namespace quillmark {

namespace {

// Holds up to N decoded source rows, keyed by (row, slice).
template <std::size_t N>
class RowCache {
public:
    explicit RowCache(UINT width) {
        for (ColorRow& row : rows_) row.resize(width);
        keys_.fill(kNone);
    }

    // Makes every wanted row present; rows not wanted now are replaced first.
    HRESULT Load(RowCodec& codec, const std::array<std::uint64_t, N>& wanted) {
        for (std::uint64_t key : wanted) {
            if (Find(key) >= 0) continue;
            const std::size_t slot = FreeSlot(wanted);
            const auto row = static_cast<UINT>(key);
            const auto slice = static_cast<UINT>(key >> 32);
            const HRESULT hr = codec.DecodeRow(row, slice, rows_[slot].data());
            if (FAILED(hr)) return hr;
            keys_[slot] = key;
        }
        return S_OK;
    }

    const FloatColor* Row(std::uint64_t key) const { return rows_[static_cast<std::size_t>(Find(key))].data(); }

    static std::uint64_t Key(UINT row, UINT slice) { return std::uint64_t{slice} << 32 | row; }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};

    int Find(std::uint64_t key) const {
        for (std::size_t i = 0; i < N; ++i) {
            if (keys_[i] == key) return static_cast<int>(i);
        }
        return -1;
    }

    std::size_t FreeSlot(const std::array<std::uint64_t, N>& wanted) const {
        for (std::size_t i = 0; i < N; ++i) {
            bool needed = false;
            for (std::uint64_t key : wanted) needed = needed || keys_[i] == key;
            if (!needed) return i;
        }
        return 0;  // unreachable: N slots cover N wanted keys
    }

    std::array<ColorRow, N> rows_;
    std::array<std::uint64_t, N> keys_;
};

// Bilinear sample of column tap tx between two source rows.
FloatColor SampleRows(const FloatColor* rowO, const FloatColor* rowM, const LinearTap& tx, const LinearTap& ty) {
    const FloatColor o = rowO[tx.lower] * tx.lowerWeight + rowO[tx.upper] * tx.upperWeight;
    const FloatColor m = rowM[tx.lower] * tx.lowerWeight + rowM[tx.upper] * tx.upperWeight;
    return o * ty.lowerWeight + m * ty.upperWeight;
}

}  // namespace

HRESULT LinearFilter(ConversionJob& job) {
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    if (job.Kind() != RESAMPLE_LINEAR || src.Depth() != 1 || dst.Depth() != 1) return E_FAIL;
    const LinearTaps tapsX(src.Width(), dst.Width(), !job.Has(RESAMPLE_MIRROR_U));
    const LinearTaps tapsY(src.Height(), dst.Height(), !job.Has(RESAMPLE_MIRROR_V));
    using Cache = RowCache<2>;
    Cache cache(src.Width());
    ColorRow out(dst.Width());
    for (UINT y = 0; y < dst.Height(); ++y) {
        const LinearTap& ty = tapsY[y];
        const std::uint64_t keyO = Cache::Key(ty.lower, 0);
        const std::uint64_t keyM = Cache::Key(ty.upper, 0);
        HRESULT hr = cache.Load(src, {keyO, keyM});
        if (FAILED(hr)) return hr;
        for (UINT x = 0; x < dst.Width(); ++x) out[x] = SampleRows(cache.Row(keyO), cache.Row(keyM), tapsX[x], ty);
        hr = dst.EncodeRow(y, 0, out.data());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT LinearVolumeFilter(ConversionJob& job) {
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    if (job.Kind() != RESAMPLE_LINEAR) return E_FAIL;
    const LinearTaps tapsX(src.Width(), dst.Width(), !job.Has(RESAMPLE_MIRROR_U));
    const LinearTaps tapsY(src.Height(), dst.Height(), !job.Has(RESAMPLE_MIRROR_V));
    const LinearTaps tapsZ(src.Depth(), dst.Depth(), !job.Has(RESAMPLE_MIRROR_W));
    using Cache = RowCache<4>;
    Cache cache(src.Width());
    ColorRow out(dst.Width());
    for (UINT z = 0; z < dst.Depth(); ++z) {
        const LinearTap& tz = tapsZ[z];
        for (UINT y = 0; y < dst.Height(); ++y) {
            const LinearTap& ty = tapsY[y];
            const std::array<std::uint64_t, 4> keys = {Cache::Key(ty.lower, tz.lower), Cache::Key(ty.upper, tz.lower),
                                                       Cache::Key(ty.lower, tz.upper), Cache::Key(ty.upper, tz.upper)};
            HRESULT hr = cache.Load(src, keys);
            if (FAILED(hr)) return hr;
            for (UINT x = 0; x < dst.Width(); ++x) {
                const FloatColor near = SampleRows(cache.Row(keys[0]), cache.Row(keys[1]), tapsX[x], ty);
                const FloatColor far = SampleRows(cache.Row(keys[2]), cache.Row(keys[3]), tapsX[x], ty);
                out[x] = near * tz.lowerWeight + far * tz.upperWeight;
            }
            hr = dst.EncodeRow(y, z, out.data());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

}  // namespace quillmark
