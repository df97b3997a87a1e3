#include "devices/gl/gl_renderer.h"

#include <algorithm>
#include <cstring>

#include "devices/gl/gl_api.h"
#include "devices/gl/sampler_mapping.h"
#include "devices/core/surface_resource.h"
#include "devices/core/texture_resources.h"
#include "devices/core/vertex_buffer.h"

namespace quillmark::gl {
namespace {

using core::ClipVertex;
using core::CoordinateSource;
using core::kStageCount;

// GL textures of Direct3D textures not drawn with for this many draws are
// deleted (the Direct3D texture may be gone).
constexpr std::uint64_t kTextureKeepDraws = 16;
constexpr std::uint32_t kPositionFloats = 4;
constexpr std::uint32_t kCoordinateFloats = 3;

// The mode of a primitive type TransformDrawVertices accepted.
GLenum ModeOf(D3DPRIMITIVETYPE type) {
    if (type == D3DPT_TRIANGLESTRIP) return GL_TRIANGLE_STRIP;
    return type == D3DPT_TRIANGLEFAN ? GL_TRIANGLE_FAN : GL_TRIANGLES;
}

// Uploads bind their texture on a unit no stage uses, so that the stages'
// bindings stay as they are.
void BindForUpload(GLuint texture) {
    glActiveTexture(GL_TEXTURE0 + kStageCount);
    glBindTexture(GL_TEXTURE_2D, texture);
}

std::array<float, 4> ColorOf(const core::Color4& c) { return {c.r, c.g, c.b, c.a}; }

GLuint CompileShader(GLenum kind, const std::string& source) {
    const GLuint shader = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

bool CoversWholeTarget(const D3DRECT& r, const core::Surface& surface) {
    return r.x1 == 0 && r.y1 == 0 && r.x2 == LONG(surface.Traits().width) && r.y2 == LONG(surface.Traits().height);
}

}  // namespace

GlRenderer::GlRenderer(std::shared_ptr<GlContext> context, core::Surface& backBuffer,
                       core::Surface* depthBuffer)
    : context_(std::move(context)),
      samplerSupport_{context_->Info().maxAnisotropy, context_->Info().mirrorClampToEdge} {
    color_ = {&backBuffer, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4};
    if (depthBuffer) depth_ = {depthBuffer, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, 2};
}

GlRenderer::~GlRenderer() {
    context_->MakeCurrent();
    for (auto& [key, program] : programs_) glDeleteProgram(program.name);
    for (auto& [serial, texture] : textures_) glDeleteTextures(1, &texture.name);
    glDeleteSamplers(GLsizei(samplers_.size()), samplers_.data());
    glDeleteBuffers(1, &vertexBuffer_);
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteTextures(1, &color_.texture);
    if (depth_.surface) glDeleteTextures(1, &depth_.texture);
}

bool GlRenderer::Initialise(std::string* error) {
    context_->MakeCurrent();
    const GLsizei width = GLsizei(color_.surface->Traits().width);
    const GLsizei height = GLsizei(color_.surface->Traits().height);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glGenTextures(1, &color_.texture);
    glBindTexture(GL_TEXTURE_2D, color_.texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color_.texture, 0);
    if (depth_.surface) {
        glGenTextures(1, &depth_.texture);
        glBindTexture(GL_TEXTURE_2D, depth_.texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT16, width, height, 0, GL_DEPTH_COMPONENT,
                     GL_UNSIGNED_SHORT, nullptr);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth_.texture, 0);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        *error = "the driver cannot render into an RGBA8 colour and 16-bit depth framebuffer";
        return false;
    }
    // Both targets start as their memory is: taken up before the first drawing.
    color_.syncedVersion = ~std::uint64_t{0};
    depth_.syncedVersion = ~std::uint64_t{0};
    glGenVertexArrays(1, &vertexArray_);
    glGenBuffers(1, &vertexBuffer_);
    glGenSamplers(GLsizei(samplers_.size()), samplers_.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (glGetError() != GL_NO_ERROR) {
        *error = "the driver failed to create the framebuffer and buffers";
        return false;
    }
    return true;
}

// The framebuffer holds the image upside down by OpenGL's convention: its
// first row is the top row, as in memory, so rows copy as they are.
void GlRenderer::TakeUp(Target& target) {
    if (!target.surface || target.surface->ContentVersion() == target.syncedVersion) return;
    const core::PixelStore& pixels = target.surface->Pixels();
    BindForUpload(target.texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(pixels.rowPitch / target.bytesPerPixel));
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(pixels.width), GLsizei(pixels.height), target.format, target.type,
                    pixels.bytes.data());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    target.syncedVersion = target.surface->ContentVersion();
    target.drawn = false;
}

void GlRenderer::ReadBack(Target& target) {
    if (!target.drawn) return;
    core::PixelStore& pixels = target.surface->Pixels();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(pixels.rowPitch / target.bytesPerPixel));
    glReadPixels(0, 0, GLsizei(pixels.width), GLsizei(pixels.height), target.format, target.type, pixels.bytes.data());
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    if (pixels.format == D3DFMT_X8R8G8B8) {
        for (std::uint32_t y = 0; y < pixels.height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(pixels.BlockAt(0, y));
            for (std::uint32_t x = 0; x < pixels.width; ++x) row[x] |= 0xFF000000u;
        }
    }
    target.surface->MarkChanged();
    target.syncedVersion = target.surface->ContentVersion();
    target.drawn = false;
}

void GlRenderer::BringToMemory(core::Surface& surface) {
    if (&surface != color_.surface && &surface != depth_.surface) return;
    context_->MakeCurrent();
    ReadBack(&surface == color_.surface ? color_ : depth_);
}

void GlRenderer::Clear(const D3DRECT& r, DWORD flags, D3DCOLOR color, float z) {
    context_->MakeCurrent();
    GLbitfield mask = 0;
    for (auto [flag, target, bit] : {std::tuple{DWORD{D3DCLEAR_TARGET}, &color_, GLbitfield{GL_COLOR_BUFFER_BIT}},
                                     std::tuple{DWORD{D3DCLEAR_ZBUFFER}, &depth_, GLbitfield{GL_DEPTH_BUFFER_BIT}}}) {
        if (!(flags & flag)) continue;
        // A clear of the whole target makes whatever the memory held irrelevant.
        if (CoversWholeTarget(r, *target->surface))
            target->syncedVersion = target->surface->ContentVersion();
        else
            TakeUp(*target);
        target->drawn = true;
        mask |= bit;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glEnable(GL_SCISSOR_TEST);
    glScissor(r.x1, r.y1, r.x2 - r.x1, r.y2 - r.y1);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(float((color >> 16) & 0xFF) / 255.0f, float((color >> 8) & 0xFF) / 255.0f,
                 float(color & 0xFF) / 255.0f, float(color >> 24) / 255.0f);
    glClearDepth(z);
    glClear(mask);
    glDisable(GL_SCISSOR_TEST);
}

namespace {

// Whether every level's rows can be handed to OpenGL as they lie in memory.
bool RowsFit(core::TextureInternals& texture, const GlTextureFormat& format) {
    for (std::uint32_t l = 0; l < texture.Traits().levels; ++l) {
        const core::PixelStore& store = texture.Store(0, l);
        const bool fits = format.dataFormat == 0 ? store.rowPitch == store.RowBytes(store.width)
                                                 : store.rowPitch % store.RowBytes(1) == 0;
        if (!fits) return false;
    }
    return true;
}

}  // namespace

// A format the driver samples goes up as it is; any other is decoded as
// the reference device decodes it for its own sampler.
bool GlRenderer::UploadTexture(core::TextureInternals& texture, Texture& entry) {
    const GlTextureFormat* native = NativeFormatOf(texture.Traits().format, context_->Info().nativeFormats);
    if (native && !RowsFit(texture, *native)) native = nullptr;
    const bool fresh = entry.name == 0;
    if (fresh) glGenTextures(1, &entry.name);
    BindForUpload(entry.name);
    if (native)
        UploadAsStored(texture, *native, fresh);
    else if (!UploadDecoded(texture, fresh))
        return false;
    if (fresh) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(texture.Traits().levels) - 1);
    entry.version = texture.ContentVersion();
    return true;
}

void GlRenderer::UploadAsStored(core::TextureInternals& texture, const GlTextureFormat& format, bool fresh) {
    for (std::uint32_t l = 0; l < texture.Traits().levels; ++l) {
        const core::PixelStore& store = texture.Store(0, l);
        const auto width = GLsizei(store.width), height = GLsizei(store.height);
        if (format.dataFormat == 0) {
            const auto size = GLsizei(store.slicePitch);  // one slice of whole block rows
            if (fresh)
                glCompressedTexImage2D(GL_TEXTURE_2D, GLint(l), format.internalFormat, width, height, 0, size,
                                       store.bytes.data());
            else
                glCompressedTexSubImage2D(GL_TEXTURE_2D, GLint(l), 0, 0, width, height, format.internalFormat, size,
                                          store.bytes.data());
            continue;
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(store.rowPitch / store.RowBytes(1)));
        if (fresh)
            glTexImage2D(GL_TEXTURE_2D, GLint(l), GLint(format.internalFormat), width, height, 0, format.dataFormat,
                         format.type, store.bytes.data());
        else
            glTexSubImage2D(GL_TEXTURE_2D, GLint(l), 0, 0, width, height, format.dataFormat, format.type,
                            store.bytes.data());
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (fresh) glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle.data());
}

bool GlRenderer::UploadDecoded(core::TextureInternals& texture, bool fresh) {
    core::SampledTexture sampled;
    if (!decoded_.Prepare(texture, &sampled)) return false;
    for (std::uint32_t l = 0; l < sampled.levels.size(); ++l) {
        const core::SampledLevel& level = sampled.levels[l];
        const void* data = sampled.native ? static_cast<const void*>(level.argb) : level.decoded;
        const GLenum format = sampled.native ? GL_BGRA : GL_RGBA;
        const GLenum type = sampled.native ? GL_UNSIGNED_INT_8_8_8_8_REV : GL_FLOAT;
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(level.rowTexels));
        if (fresh)
            glTexImage2D(GL_TEXTURE_2D, GLint(l), sampled.native ? GL_RGBA8 : GL_RGBA32F, GLsizei(level.width),
                         GLsizei(level.height), 0, format, type, data);
        else
            glTexSubImage2D(GL_TEXTURE_2D, GLint(l), 0, 0, GLsizei(level.width), GLsizei(level.height), format, type,
                            data);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (fresh) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, sampled.opaque ? GL_ONE : GL_ALPHA);
    return true;
}

// Binds each sampling stage's texture (uploaded when it changed) and
// sampler, and lists the stages' coordinate sources in attribute order.
HRESULT GlRenderer::BindTextures(const core::DrawCall& call, const core::StageProgram& program,
                                 std::vector<CoordinateSource>& sources, StageShaderKey& key) {
    const core::DeviceState& state = call.state;
    std::uint32_t textureSets = 0;
    const std::uint32_t vertexSize = core::VertexSizeOf(state.fvf, &textureSets);
    const std::uint32_t coordinatesStart = vertexSize - 8 * textureSets;
    key.program = &program;
    key.coordinateSet.fill(-1);
    for (std::uint32_t s = program.start; s < program.count; ++s) {
        const core::StageStep& step = program.steps[s];
        if (!step.readsTexture || !step.hasTexture) continue;
        core::TextureInternals* texture = core::InternalsOf(call.textures[s]);
        if (!texture || texture->Kind() != D3DRTYPE_TEXTURE || texture->AnyLevelLocked()) return D3DERR_INVALIDCALL;
        const DWORD index = state.stageStates[s][D3DTSS_TEXCOORDINDEX];
        const DWORD flags = state.stageStates[s][D3DTSS_TEXTURETRANSFORMFLAGS];
        if (index >= textureSets || !core::IsSupportedTransform(flags)) return D3DERR_INVALIDCALL;
        Texture& entry = textures_[texture->Serial()];
        if (entry.version != texture->ContentVersion() && !UploadTexture(*texture, entry)) return D3DERR_INVALIDCALL;
        entry.lastDraw = drawCount_;

        GlSampling sampling;
        if (!MapSamplerStates(state.samplerStates[s], texture->Traits().levels, samplerSupport_, &sampling))
            return D3DERR_INVALIDCALL;
        glActiveTexture(GL_TEXTURE0 + s);
        glBindTexture(GL_TEXTURE_2D, entry.name);
        const GLuint sampler = samplers_[s];
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GLint(sampling.minFilter));
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GLint(sampling.magFilter));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GLint(sampling.wrapS));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GLint(sampling.wrapT));
        glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, sampling.borderColor.data());
        glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, sampling.lodBias);
        glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, sampling.minLod);
        glSamplerParameterf(sampler, GL_TEXTURE_MAX_LOD, sampling.maxLod);
        if (samplerSupport_.maxAnisotropy > 1)
            glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY, sampling.maxAnisotropy);
        glBindSampler(s, sampler);

        key.coordinateSet[s] = int(sources.size());
        key.projected[s] = (flags & D3DTTFF_PROJECTED) != 0 && (flags & ~DWORD{D3DTTFF_PROJECTED}) >= D3DTTFF_COUNT2;
        sources.push_back({coordinatesStart + 8 * index, flags, state.texture[s]});
    }
    return S_OK;
}

// Transforms the vertices as the reference device does and hands OpenGL
// clip-space positions with y turned over (the framebuffer's first row is
// the top row), moved by half a pixel right and down (Direct3D 9 puts pixel
// centres at integer coordinates, OpenGL at half-integers). Where OpenGL
// takes Direct3D's depth range 0 <= z <= w (glClipControl), z goes as it
// is; elsewhere it is taken to [-w, w].
HRESULT GlRenderer::UploadVertices(const core::DrawCall& call, const std::vector<CoordinateSource>& sources,
                                   std::uint32_t* vertexCount) {
    const core::DeviceState& state = call.state;
    if (const HRESULT fetched = core::TransformDrawVertices(call, sources, clipVertices_); FAILED(fetched))
        return fetched;
    const std::size_t count = clipVertices_.size();

    const float dx = 1.0f / float(state.viewport.Width), dy = 1.0f / float(state.viewport.Height);
    const bool zeroToOne = context_->Info().clipControl;
    const float zScale = zeroToOne ? 1.0f : 2.0f, zShift = zeroToOne ? 0.0f : -1.0f;
    const std::uint32_t floats = kPositionFloats + kCoordinateFloats * std::uint32_t(sources.size());
    vertexData_.resize(std::size_t{floats} * count);
    float* out = vertexData_.data();
    for (const ClipVertex& v : clipVertices_) {
        *out++ = v.x + v.w * dx;
        *out++ = v.w * dy - v.y;
        *out++ = zScale * v.z + zShift * v.w;
        *out++ = v.w;
        out = std::copy_n(v.attributes.begin(), kCoordinateFloats * sources.size(), out);
    }
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertexData_.size() * sizeof(float)), vertexData_.data(), GL_STREAM_DRAW);
    const auto strideBytes = GLsizei(floats * sizeof(float));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, kPositionFloats, GL_FLOAT, GL_FALSE, strideBytes, nullptr);
    for (std::uint32_t k = 0; k < sources.size(); ++k) {
        glEnableVertexAttribArray(1 + k);
        const auto offset = (kPositionFloats + kCoordinateFloats * k) * sizeof(float);
        glVertexAttribPointer(1 + k, kCoordinateFloats, GL_FLOAT, GL_FALSE, strideBytes,
                              reinterpret_cast<const void*>(offset));
    }
    for (std::uint32_t k = std::uint32_t(sources.size()); k < kStageCount; ++k) glDisableVertexAttribArray(1 + k);
    *vertexCount = std::uint32_t(count);
    return S_OK;
}

const GlRenderer::Program* GlRenderer::ProgramFor(const StageShaderKey& key, int coordinateSets) {
    const StageShaderSource source = GenerateStageShaders(key, coordinateSets);
    auto found = programs_.find(source.key);
    if (found != programs_.end()) return &found->second;
    const GLuint vertex = CompileShader(GL_VERTEX_SHADER, source.vertex);
    const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, source.fragment);
    if (!vertex || !fragment) {
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        return nullptr;
    }
    Program program;
    program.name = glCreateProgram();
    glAttachShader(program.name, vertex);
    glAttachShader(program.name, fragment);
    glLinkProgram(program.name);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(program.name, GL_LINK_STATUS, &linked);
    if (!linked) {
        glDeleteProgram(program.name);
        return nullptr;
    }
    glUseProgram(program.name);
    for (std::uint32_t s = 0; s < kStageCount; ++s) {
        const GLint location = glGetUniformLocation(program.name, ("stageTexture" + std::to_string(s)).c_str());
        if (location >= 0) glUniform1i(location, GLint(s));
    }
    program.diffuse = glGetUniformLocation(program.name, "diffuse");
    program.textureFactor = glGetUniformLocation(program.name, "textureFactor");
    program.startCurrent = glGetUniformLocation(program.name, "startCurrent");
    return &programs_.emplace(source.key, program).first->second;
}

// Viewport, depth range, depth test on the 16-bit buffer, and culling by
// the winding on screen: OpenGL measures winding with y pointing up, so in
// this upside-down framebuffer a triangle clockwise on Direct3D's screen is
// counter-clockwise, OpenGL's front face.
void GlRenderer::SetDrawState(const core::DeviceState& state) {
    const D3DVIEWPORT9& vp = state.viewport;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(GLint(vp.X), GLint(vp.Y), GLsizei(vp.Width), GLsizei(vp.Height));
    glDepthRange(vp.MinZ, vp.MaxZ);
    const auto& rs = state.renderStates;
    if (depth_.surface && rs[D3DRS_ZENABLE] == D3DZB_TRUE) {
        glEnable(GL_DEPTH_TEST);
        const DWORD func = rs[D3DRS_ZFUNC];
        glDepthFunc(func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? GL_NEVER + (func - D3DCMP_NEVER) : GL_ALWAYS);
        glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    if (rs[D3DRS_CULLMODE] == D3DCULL_NONE) {
        glDisable(GL_CULL_FACE);
    } else {
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glCullFace(rs[D3DRS_CULLMODE] == D3DCULL_CW ? GL_FRONT : GL_BACK);
    }
}

HRESULT GlRenderer::Draw(const core::DrawCall& call) {
    context_->MakeCurrent();
    std::array<bool, kStageCount> bound{};
    for (std::uint32_t s = 0; s < kStageCount; ++s) bound[s] = call.textures[s] != nullptr;
    core::StageProgram program;
    if (!core::BuildStageProgram(call.state, bound, &program)) return D3DERR_INVALIDCALL;
    ++drawCount_;
    std::vector<CoordinateSource> sources;
    StageShaderKey key;
    HRESULT result = BindTextures(call, program, sources, key);
    decoded_.ForgetUnused();
    std::uint32_t vertexCount = 0;
    if (SUCCEEDED(result)) result = UploadVertices(call, sources, &vertexCount);
    if (FAILED(result)) return result;
    const Program* shaders = ProgramFor(key, int(sources.size()));
    if (!shaders) return D3DERR_DRIVERINTERNALERROR;

    TakeUp(color_);
    TakeUp(depth_);
    SetDrawState(call.state);
    glUseProgram(shaders->name);
    glUniform4fv(shaders->diffuse, 1, ColorOf(program.diffuse).data());
    glUniform4fv(shaders->textureFactor, 1, ColorOf(program.textureFactor).data());
    glUniform4fv(shaders->startCurrent, 1, ColorOf(program.startCurrent).data());
    glDrawArrays(ModeOf(call.type), 0, GLsizei(vertexCount));
    color_.drawn = true;
    if (depth_.surface && glIsEnabled(GL_DEPTH_TEST) && call.state.renderStates[D3DRS_ZWRITEENABLE])
        depth_.drawn = true;
    ForgetOldTextures();
    return S_OK;
}

void GlRenderer::ForgetOldTextures() {
    for (auto it = textures_.begin(); it != textures_.end();) {
        if (it->second.lastDraw + kTextureKeepDraws < drawCount_) {
            glDeleteTextures(1, &it->second.name);
            it = textures_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace quillmark::gl
