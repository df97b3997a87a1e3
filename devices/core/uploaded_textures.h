// The textures a renderer keeps uploaded on its driver's side, one `Copy`
// (a texture name, an image) per Direct3D texture, with the version of the
// texture's content it holds. Copies not drawn with for kKeepDraws draws
// are given back (the Direct3D texture may be gone).
#pragma once

#include <cstdint>
#include <unordered_map>

#include "devices/core/texture_resources.h"

namespace quillmark::core {

template <class Copy>
class UploadedTextures {
public:
    static constexpr std::uint64_t kKeepDraws = 16;

    struct Entry {
        Copy copy{};
        std::uint64_t version = ~std::uint64_t{0};  // the texture's content version the copy holds
        std::uint64_t lastDraw = 0;
    };

    // Starts a draw.
    void BeginDraw() { ++draws_; }
    // The entry of `texture`, marked as drawn with now; a new entry holds a
    // Copy{} and no version.
    Entry& Use(const TextureInternals& texture) {
        Entry& entry = entries_[texture.Serial()];
        entry.lastDraw = draws_;
        return entry;
    }
    static bool Current(const Entry& entry, const TextureInternals& texture) {
        return entry.version == texture.ContentVersion();
    }
    static void MarkUploaded(Entry& entry, const TextureInternals& texture) { entry.version = texture.ContentVersion(); }

    // Hands each copy not drawn with for kKeepDraws draws to `release` and
    // forgets it.
    template <class Release>
    void ForgetUnused(Release release) {
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->second.lastDraw + kKeepDraws < draws_) {
                release(it->second.copy);
                it = entries_.erase(it);
            } else {
                ++it;
            }
        }
    }

    // Hands every copy to `release` and forgets them all.
    template <class Release>
    void ForgetAll(Release release) {
        for (auto& [serial, entry] : entries_) release(entry.copy);
        entries_.clear();
    }

private:
    std::unordered_map<std::uint64_t, Entry> entries_;
    std::uint64_t draws_ = 0;
};

}  // namespace quillmark::core
