// The OpenGL renderer of a device: draws the device's checked state through
// an OpenGL context into an offscreen framebuffer that holds the back
// buffer and depth buffer, and moves pixels between that framebuffer and the
// surfaces' memory when either side changed.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "gl_context.h"
#include "renderer.h"
#include "sampler_mapping.h"
#include "sampled_texture.h"
#include "stage_shader.h"
#include "texture_formats.h"
#include "vertex_processing.h"

namespace quillmark::gl {

class GlRenderer final : public reference::Renderer {
public:
    GlRenderer(std::shared_ptr<GlContext> context, reference::Surface& backBuffer, reference::Surface* depthBuffer);
    ~GlRenderer() override;
    // Creates the framebuffer and buffers; false with the reason in *error.
    bool Initialise(std::string* error);

    void Clear(const D3DRECT& rect, DWORD flags, D3DCOLOR color, float z) override;
    HRESULT Draw(const reference::DrawCall& call) override;
    void BringToMemory(reference::Surface& surface) override;

private:
    // A render target: its memory, its OpenGL texture, and which side is newer.
    struct Target {
        reference::Surface* surface = nullptr;
        unsigned texture = 0;
        unsigned format = 0, type = 0;
        std::uint32_t bytesPerPixel = 0;
        std::uint64_t syncedVersion = 0;  // the memory's version the texture holds
        bool drawn = false;               // drawn into since the memory was last brought up to date
    };
    struct Program {
        unsigned name = 0;
        int diffuse = -1, textureFactor = -1, startCurrent = -1;
    };
    struct Texture {
        unsigned name = 0;
        std::uint64_t version = ~std::uint64_t{0};
        std::uint64_t lastDraw = 0;
    };

    void TakeUp(Target& target);
    void ReadBack(Target& target);
    HRESULT BindTextures(const reference::DrawCall& call, const reference::StageProgram& program,
                         std::vector<reference::CoordinateSource>& sources, StageShaderKey& key);
    bool UploadTexture(reference::TextureInternals& texture, Texture& entry);
    void UploadAsStored(reference::TextureInternals& texture, const GlTextureFormat& format, bool fresh);
    bool UploadDecoded(reference::TextureInternals& texture, bool fresh);
    HRESULT UploadVertices(const reference::DrawCall& call, const std::vector<reference::CoordinateSource>& sources,
                           std::uint32_t* vertexCount);
    const Program* ProgramFor(const StageShaderKey& key, int coordinateSets);
    void SetDrawState(const reference::DeviceState& state);
    void ForgetOldTextures();

    std::shared_ptr<GlContext> context_;
    GlSamplerSupport samplerSupport_;
    Target color_;
    Target depth_;
    unsigned framebuffer_ = 0;
    unsigned vertexArray_ = 0;
    unsigned vertexBuffer_ = 0;
    std::array<unsigned, reference::kStageCount> samplers_{};
    std::map<std::string, Program> programs_;
    std::unordered_map<std::uint64_t, Texture> textures_;
    reference::SampledTextureCache decoded_;
    std::uint64_t drawCount_ = 0;
    std::vector<reference::ClipVertex> clipVertices_;
    std::vector<float> vertexData_;
    std::vector<std::uint8_t> rows_;
};

}  // namespace quillmark::gl
