#include "imagecodec/image_codec.h"

#include <algorithm>
#include <cctype>

namespace quillmark {

extern const ImageCodec kBmpCodec;
extern const ImageCodec kPpmCodec;
extern const ImageCodec kPfmCodec;
extern const ImageCodec kHdrCodec;
extern const ImageCodec kTgaCodec;
extern const ImageCodec kJpegCodec;
extern const ImageCodec kPngCodec;
extern const ImageCodec kDdsCodec;
extern const ImageCodec kDibCodec;

namespace {

constexpr const ImageCodec* kCodecs[] = {
    &kBmpCodec,
    &kPpmCodec,
    &kDdsCodec,
    &kJpegCodec,
    &kPngCodec,
    &kPfmCodec,
    &kHdrCodec,
    &kTgaCodec,
    &kDibCodec,
};

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() <= suffix.size()) return false;
    return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

}  // namespace

std::span<const ImageCodec* const> ImageCodecs() { return kCodecs; }

const ImageCodec* FindImageCodec(ImageFileFormat id) {
    for (const ImageCodec* codec : kCodecs)
        if (codec->id == id) return codec;
    return nullptr;
}

const ImageCodec* FindImageCodecForPath(std::string_view path) {
    for (const ImageCodec* codec : kCodecs)
        for (const char* const* extension = codec->extensions; *extension != nullptr; ++extension)
            if (EndsWithIgnoringCase(path, *extension)) return codec;
    return nullptr;
}

}  // namespace quillmark
