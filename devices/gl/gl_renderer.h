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

#include "devices/gl/gl_context.h"
#include "devices/core/renderer.h"
#include "devices/gl/sampler_mapping.h"
#include "devices/core/sampled_texture.h"
#include "devices/gl/stage_shader.h"
#include "devices/gl/texture_formats.h"
#include "devices/core/vertex_processing.h"

namespace quillmark::gl {

class GlRenderer final : public core::Renderer {
public:
    GlRenderer(std::shared_ptr<GlContext> context, core::Surface& backBuffer, core::Surface* depthBuffer);
    ~GlRenderer() override;
    // Creates the framebuffer and buffers; false with the reason in *error.
    bool Initialise(std::string* error);

    void Clear(const D3DRECT& rect, DWORD flags, D3DCOLOR color, float z) override;
    HRESULT Draw(const core::DrawCall& call) override;
    void BringToMemory(core::Surface& surface) override;

private:
    // A render target: its memory, its OpenGL texture, and which side is newer.
    struct Target {
        core::Surface* surface = nullptr;
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
    HRESULT BindTextures(const core::DrawCall& call, const core::StageProgram& program,
                         std::vector<core::CoordinateSource>& sources, StageShaderKey& key);
    bool UploadTexture(core::TextureInternals& texture, Texture& entry);
    void UploadAsStored(core::TextureInternals& texture, const GlTextureFormat& format, bool fresh);
    bool UploadDecoded(core::TextureInternals& texture, bool fresh);
    HRESULT UploadVertices(const core::DrawCall& call, const std::vector<core::CoordinateSource>& sources,
                           std::uint32_t* vertexCount);
    const Program* ProgramFor(const StageShaderKey& key, int coordinateSets);
    void SetDrawState(const core::DeviceState& state);
    void ForgetOldTextures();

    std::shared_ptr<GlContext> context_;
    GlSamplerSupport samplerSupport_;
    Target color_;
    Target depth_;
    unsigned framebuffer_ = 0;
    unsigned vertexArray_ = 0;
    unsigned vertexBuffer_ = 0;
    std::array<unsigned, core::kStageCount> samplers_{};
    std::map<std::string, Program> programs_;
    std::unordered_map<std::uint64_t, Texture> textures_;
    core::SampledTextureCache decoded_;
    std::uint64_t drawCount_ = 0;
    std::vector<core::ClipVertex> clipVertices_;
    std::vector<float> vertexData_;
    std::vector<std::uint8_t> rows_;
};

}  // namespace quillmark::gl
