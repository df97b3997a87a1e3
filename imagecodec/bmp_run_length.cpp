// The run-length decoder of 8-bit (BI_RLE8) and 4-bit (BI_RLE4) bitmaps.
//
// The write position is kept as a column and a line counted in file order
// (line 0 is the first line the data describes), so that no code can move it
// outside the pixel block: pixels that fall right of the image's width are
// dropped, and a position below the last line ends the decoding.
#include "imagecodec/bmp_layout.h"

namespace quillmark::bmp {
namespace {

class RunLengthWriter {
public:
    RunLengthWriter(const Layout& layout, BYTE* pixels)
        : pixels_(pixels), width_(static_cast<std::uint64_t>(layout.width)), rows_(layout.rows),
          rowPitch_(layout.rowPitch), topDown_(layout.TopDown()) {}

    bool Done() const { return line_ >= rows_; }
    void EndOfLine() { ++line_; column_ = 0; }
    void Move(std::uint64_t dx, std::uint64_t dy) { column_ += dx; line_ += dy; }

    void Put(BYTE index) {
        if (column_ < width_ && line_ < rows_) Row()[column_] = index;
        ++column_;
    }

private:
    BYTE* Row() const {
        const std::uint64_t memoryRow = topDown_ ? line_ : rows_ - 1 - line_;
        return pixels_ + memoryRow * rowPitch_;
    }

    BYTE* pixels_;
    std::uint64_t width_;
    std::uint64_t rows_;
    std::uint64_t rowPitch_;
    bool topDown_;
    std::uint64_t column_ = 0;
    std::uint64_t line_ = 0;
};

BYTE Nibble(BYTE value, std::uint64_t i) { return (i & 1) == 0 ? static_cast<BYTE>(value >> 4) : static_cast<BYTE>(value & 0xF); }

}  // namespace

bool DecodeRunLength(const BYTE* data, std::uint64_t dataSize, const Layout& layout, BYTE* pixels) {
    const bool fourBit = layout.compression == kBiRle4;
    RunLengthWriter writer(layout, pixels);
    std::uint64_t at = 0;
    while (!writer.Done()) {
        if (dataSize - at < 2) return false;
        const BYTE count = data[at];
        const BYTE value = data[at + 1];
        at += 2;
        if (count > 0) {
            for (std::uint64_t i = 0; i < count; ++i) writer.Put(fourBit ? Nibble(value, i) : value);
        } else if (value == 0) {
            writer.EndOfLine();
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (dataSize - at < 2) return false;
            writer.Move(data[at], data[at + 1]);
            at += 2;
        } else {
            const std::uint64_t bytes = fourBit ? (value + 1u) / 2 : value;
            const std::uint64_t padded = (bytes + 1) & ~std::uint64_t{1};
            if (dataSize - at < bytes) return false;
            for (std::uint64_t i = 0; i < value; ++i)
                writer.Put(fourBit ? Nibble(data[at + i / 2], i) : data[at + i]);
            at += padded <= dataSize - at ? padded : bytes;
        }
    }
    return true;
}

}  // namespace quillmark::bmp
