// The last image shown in each window.
#include "platform/win32/window_image.h"
#include "platform/win32/backend_impl.h"
#include "platform/win32/window_model.h"

#include <cstring>
#include <map>

namespace quillmark::win32 {
namespace {

std::map<HWND, WindowImage>& Images() {
    static std::map<HWND, WindowImage> images;
    return images;
}

}  // namespace

void ShowWindowImage(HWND window, const std::uint32_t* pixels, int width, int height, int pitchBytes) {
    if (!FindWindowRecord(window) || !pixels || width <= 0 || height <= 0 ||
        pitchBytes < width * static_cast<int>(sizeof(std::uint32_t)))
        return;
    WindowImage& image = Images()[window];
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const auto* row = reinterpret_cast<const std::uint8_t*>(pixels);
    for (int y = 0; y < height; ++y, row += pitchBytes)
        std::memcpy(&image.pixels[static_cast<std::size_t>(y) * width], row, width * sizeof(std::uint32_t));
    ++image.presentCount;
    ActiveBackend().ImageShown(window);
}

WindowImage GetWindowImage(HWND window) {
    auto found = Images().find(window);
    return found == Images().end() ? WindowImage{} : found->second;
}

const WindowImage* FindWindowImage(HWND window) {
    auto found = Images().find(window);
    return found == Images().end() ? nullptr : &found->second;
}

void ForgetWindowImage(HWND window) { Images().erase(window); }

}  // namespace quillmark::win32
