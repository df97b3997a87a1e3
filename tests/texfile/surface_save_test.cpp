// Saving surfaces to bitmap files on the reference device, read back with
// the library's reader.
#include "imagecodec/decoded_image.h"
#include "device_fixture.h"
#include "fake_device.h"
#include "imagecodec/mapped_file.h"
#include "imagecodec/memory_buffer.h"
#include "texfile/surface_save.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

class SurfaceSaveTest : public testing::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        dir_ = fs::temp_directory_path() / ("qm_save_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        path_ = (dir_ / "MipBand.bmp").string();
    }
    void TearDown() override {
        fs::remove_all(dir_);
        DeviceTest::TearDown();
    }

    // Reads the saved file; the pixel at (x, y) of the image as 0xAARRGGBB.
    void ReadBack() {
        ASSERT_EQ(file_.Open(path_.c_str(), false), S_OK);
        image_.ReleaseContents();
        ASSERT_EQ(image_.ReadImage(file_.Data(), file_.Size(), nullptr, TRUE), S_OK);
    }
    DWORD PixelAt(UINT x, UINT y) const {
        return *reinterpret_cast<const DWORD*>(image_.pixels + y * image_.rowPitch + x * 4);
    }

    fs::path dir_;
    std::string path_;
    MappedFile file_;
    DecodedImage image_;
};

TEST_F(SurfaceSaveTest, WholeSystemMemorySurfaceBecomesABitmapOfItsSize) {
    IDirect3DSurface9* plot = Plain(720, 50, D3DFMT_X8R8G8B8);
    Fill(plot);
    { std::ofstream(path_, std::ios::binary) << "an older file"; }
    ASSERT_EQ(WriteSurfaceToImageFile(path_.c_str(), ImageFileFormat::Bmp, plot, nullptr, nullptr), S_OK);
    ReadBack();
    EXPECT_EQ(image_.width, 720u);
    EXPECT_EQ(image_.height, 50u);
    EXPECT_EQ(image_.format, D3DFMT_X8R8G8B8);  // the unused bytes are written as 0xFF, read as opaque
    for (UINT y : {0u, 17u, 49u})
        for (UINT x : {0u, 300u, 719u}) EXPECT_EQ(PixelAt(x, y), Pattern(x, y)) << x << "," << y;
    plot->Release();
}

TEST_F(SurfaceSaveTest, RectangleOfASurface) {
    IDirect3DSurface9* surface = Plain(64, 64, D3DFMT_X8R8G8B8);
    Fill(surface);
    const RECT rect{10, 10, 20, 30};
    ASSERT_EQ(WriteSurfaceToImageFile(path_.c_str(), ImageFileFormat::Bmp, surface, nullptr, &rect), S_OK);
    ReadBack();
    EXPECT_EQ(image_.width, 10u);
    EXPECT_EQ(image_.height, 20u);
    EXPECT_EQ(PixelAt(0, 0), Pattern(10, 10));
    EXPECT_EQ(PixelAt(9, 19), Pattern(19, 29));
    const RECT outside{10, 10, 65, 30};
    EXPECT_EQ(WriteSurfaceToImageFile(path_.c_str(), ImageFileFormat::Bmp, surface, nullptr, &outside),
              D3DERR_INVALIDCALL);
    surface->Release();
}

TEST_F(SurfaceSaveTest, UnlockableBackBufferIsSavedThroughACopy) {
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), S_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0), S_OK);
    ASSERT_EQ(WriteSurfaceToImageFile(path_.c_str(), ImageFileFormat::Bmp, backBuffer, nullptr, nullptr), S_OK);
    ReadBack();
    D3DSURFACE_DESC desc{};
    backBuffer->GetDesc(&desc);
    EXPECT_EQ(image_.width, desc.Width);
    EXPECT_EQ(PixelAt(5, 5) & 0xFFFFFF, 0x336699u);
    backBuffer->Release();
}

TEST_F(SurfaceSaveTest, MemoryDestinationAndRefusals) {
    IDirect3DSurface9* surface = Plain(3, 3, D3DFMT_X8R8G8B8);
    Fill(surface);
    MemoryBuffer* buffer = nullptr;
    ASSERT_EQ(WriteSurfaceToDestination(&buffer, ImageFileFormat::Dib, surface, nullptr, nullptr, OutputKind::Memory),
              S_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 40u + 3 * 12 + 2);
    buffer->Release();
    EXPECT_EQ(WriteSurfaceToImageFile(nullptr, ImageFileFormat::Bmp, surface, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(WriteSurfaceToImageFile(path_.c_str(), ImageFileFormat::Bmp, nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(WriteSurfaceToImageFile(path_.c_str(), ImageFileFormat::Tga, surface, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_EQ(WriteSurfaceToImageFile((dir_ / "missing" / "x.bmp").string().c_str(), ImageFileFormat::Bmp, surface,
                                      nullptr, nullptr),
              TEXERR_UNREADABLE);
    surface->Release();
}

// A surface that reports itself in D3DPOOL_DEFAULT on a lost device, over a
// real lockable surface.
class LostDeviceSurface : public IDirect3DSurface9 {
public:
    explicit LostDeviceSurface(IDirect3DSurface9* inner) : inner_(inner) {}
    testing::FakeDevice device;

    HRESULT QueryInterface(REFIID iid, void** out) override { return inner_->QueryInterface(iid, out); }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetDevice(IDirect3DDevice9** out) override {
        *out = &device;
        return S_OK;
    }
    DWORD SetPriority(DWORD p) override { return inner_->SetPriority(p); }
    DWORD GetPriority() override { return inner_->GetPriority(); }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID iid, void** out) override { return inner_->GetContainer(iid, out); }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override {
        const HRESULT result = inner_->GetDesc(desc);
        desc->Pool = D3DPOOL_DEFAULT;
        desc->Usage = D3DUSAGE_DYNAMIC;
        return result;
    }
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
        return inner_->LockRect(locked, rect, flags);
    }
    HRESULT UnlockRect() override { return inner_->UnlockRect(); }

private:
    IDirect3DSurface9* inner_;
};

TEST_F(SurfaceSaveTest, DefaultPoolSurfaceOfALostDeviceIsWrittenButReported) {
    IDirect3DSurface9* inner = Plain(4, 4, D3DFMT_X8R8G8B8);
    Fill(inner);
    LostDeviceSurface surface(inner);
    surface.device.cooperativeLevel = D3DERR_DEVICELOST;
    EXPECT_EQ(WriteSurfaceToImageFile(path_.c_str(), ImageFileFormat::Bmp, &surface, nullptr, nullptr),
              D3DERR_DEVICELOST);
    EXPECT_TRUE(fs::exists(path_));
    surface.device.cooperativeLevel = S_OK;
    EXPECT_EQ(WriteSurfaceToImageFile(path_.c_str(), ImageFileFormat::Bmp, &surface, nullptr, nullptr), S_OK);
    inner->Release();
}

}  // namespace
}  // namespace quillmark
