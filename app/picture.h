// Picture: an image the program draws for people (maps, plots, colour bars),
// 32-bit XRGB pixels in memory, with the few drawing operations the figures
// need (rectangles, lines, circles, text in a small bitmap font) and PNG
// output through the image writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, row by row

    Picture() = default;
    Picture(int w, int h, std::uint32_t background);

    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    // Sets one pixel; positions outside the picture are ignored.
    void Set(int x, int y, std::uint32_t rgb);
    void FillRect(int x, int y, int w, int h, std::uint32_t rgb);
    // A line `thickness` pixels wide from (x0, y0) to (x1, y1).
    void Line(double x0, double y0, double x1, double y1, std::uint32_t rgb, int thickness = 1);
    void Circle(double cx, double cy, double radius, std::uint32_t rgb);
    void Disc(double cx, double cy, double radius, std::uint32_t rgb);
    // Copies `other` with its top-left corner at (x, y).
    void Paste(const Picture& other, int x, int y);
};

// Pixels read from a frame (0xAARRGGBB, row by row, `width` wide) as a picture.
Picture PictureOfPixels(const std::vector<std::uint32_t>& pixels, int width);

// The picture at half its width and height, each pixel the rounded mean of
// a 2 × 2 block (an odd last row or column is dropped).
Picture Halved(const Picture& picture);

// Text in the built-in 5 × 7 font (capitals, digits and "+-.,:()/%=<>"; lower
// case shows as capitals), each font pixel `scale` × `scale` screen pixels,
// the top-left corner at (x, y). Returns the width drawn.
int DrawText(Picture& picture, int x, int y, std::string_view text, std::uint32_t rgb, int scale = 2);
int TextWidth(std::string_view text, int scale = 2);
inline constexpr int kGlyphHeight = 7;

// The picture as PNG bytes, or empty when it cannot be encoded.
std::string PngBytes(const Picture& picture);

// Reads an image file written by the program (32-bit pixels, e.g.
// MipBand.bmp); false with the reason in *error.
bool ReadPicture(const std::filesystem::path& path, Picture* picture, std::string* error);

// A text chunk of a PNG file: UTF-8 text under a keyword of 1 to 79 Latin
// letters, digits and spaces (written as tEXt when the text is ASCII,
// otherwise as iTXt, uncompressed).
struct PngText {
    std::string keyword;
    std::string text;
};

// PNG bytes with the text chunks put right after the header chunk; bytes
// that are no PNG come back unchanged.
std::string WithPngText(std::string png, const std::vector<PngText>& texts);

// Writes the picture as a PNG file carrying `texts`; false with the reason
// in *error.
bool WritePng(const Picture& picture, const std::filesystem::path& path, std::string* error,
              const std::vector<PngText>& texts = {});

// Adds the text chunks to a PNG file written before; false with the reason
// in *error (also when the file is no PNG).
bool AddPngText(const std::filesystem::path& path, const std::vector<PngText>& texts, std::string* error);

}  // namespace quillmark
