// The PNG files the program writes carry the device and the settings as text
// chunks, which another program (ImageMagick's identify) reads back, and the
// pixels are read as before.
#include "app/batch/result_document.h"
#include "app/picture.h"
#include "batch_capture.h"
#include "command_output.h"
#include "scratch_directory.h"

#include "devices/select/d3d9_select.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillmark {
namespace {

using testing::CommandOutput;

bool HaveIdentify() { return std::system("command -v identify >/dev/null 2>&1") == 0; }

// The text chunks identify reads from a PNG file, one "keyword: text" line each.
std::string TextsOf(const std::filesystem::path& png) {
    return CommandOutput("identify -format 'Software: %[Software]\\nSource: %[Source]\\nSettings: %[Settings]\\n' '" +
                         png.string() + "'");
}

// The chunks of a PNG file as Python's zlib checks them (the CRC of each),
// one "TYPE keyword=text" line for each tEXt and iTXt chunk, after the
// first chunk's type.
std::string ChunksByPython(const std::filesystem::path& png) {
    return CommandOutput(
        "python3 -c '\n"
        "import struct, sys, zlib\n"
        "data = open(sys.argv[1], \"rb\").read()\n"
        "at, out = 8, []\n"
        "while at < len(data):\n"
        "    n, kind = struct.unpack(\">I4s\", data[at:at + 8])\n"
        "    body = data[at + 8:at + 8 + n]\n"
        "    crc, = struct.unpack(\">I\", data[at + 8 + n:at + 12 + n])\n"
        "    assert crc == zlib.crc32(kind + body), kind\n"
        "    if not out: out.append(kind.decode())\n"
        "    if kind == b\"tEXt\": k, t = body.split(b\"\\0\", 1); out.append(\"tEXt \" + k.decode() + \"=\" + t.decode(\"latin-1\"))\n"
        "    if kind == b\"iTXt\": k, t = body.split(b\"\\0\", 1); out.append(\"iTXt \" + k.decode() + \"=\" + t[4:].decode(\"utf-8\"))\n"
        "    at += 12 + n\n"
        "print(\"\\n\".join(out))\n"
        "' '" + png.string() + "'");
}

// Chunks put into a picture's PNG are read back by identify word for word
// (and checked, UTF-8 included, by Python), and the pixels decode
// unchanged, by identify and by us.
TEST(ImageProvenance, TextChunksAreReadByAnotherProgramAndLeaveThePixels) {
    if (!HaveIdentify()) GTEST_SKIP() << "ImageMagick identify is absent";
    Picture picture(3, 2, 0x102030);
    picture.Set(2, 1, 0xFF8000);
    testing::ScratchDirectory scratch;
    const std::filesystem::path path = scratch / "picture.png";
    std::string error;
    ASSERT_TRUE(WritePng(picture, path, &error,
                         {{"Software", "Quillmark test"}, {"Source", "λ device: 16x"}, {"Settings", "--angle 70"}}))
        << error;
    EXPECT_EQ(CommandOutput("identify -format '%[Software]|%[Settings]' '" + path.string() + "'"),
              "Quillmark test|--angle 70");
    EXPECT_EQ(ChunksByPython(path),
              "IHDR\ntEXt Software=Quillmark test\niTXt Source=λ device: 16x\ntEXt Settings=--angle 70\n");
    EXPECT_EQ(CommandOutput("identify -format '%w %h %[pixel:p{2,1}]' '" + path.string() + "'"),
              "3 2 srgb(255,128,0)");
    Picture read;
    ASSERT_TRUE(ReadPicture(path, &read, &error)) << error;
    EXPECT_EQ(read.pixels, picture.pixels);

    const std::string bmp = "BM not a PNG";
    EXPECT_EQ(WithPngText(bmp, {{"Software", "x"}}), bmp);
    std::ofstream(scratch / "frame.bmp") << bmp;
    EXPECT_FALSE(AddPngText(scratch / "frame.bmp", {{"Software", "x"}}, &error));
    EXPECT_NE(error.find("no PNG"), std::string::npos) << error;
}

// `lod -o DIR` and `render -o FILE.png` name the device they drew on and
// every setting they drew with in each PNG they write.
TEST(ImageProvenance, LodAndRenderPicturesNameTheDeviceAndTheSettings) {
    if (!HaveIdentify()) GTEST_SKIP() << "ImageMagick identify is absent";
    testing::ScratchDirectory scratch;
    const testing::BatchOutput lod =
        testing::RunBatchCaptured(std::vector<std::string>{"lod", "--angle", "70", "--object", "plane", "-o", scratch.Path().string()});
    ASSERT_EQ(lod.code, 0) << lod.err;
    const testing::BatchOutput render =
        testing::RunBatchCaptured(std::vector<std::string>{"render", "--lod-bias", "1.5", "-o", (scratch / "frame.png").string()});
    ASSERT_EQ(render.code, 0) << render.err;
    const batch::DeviceIdentity device = batch::IdentifyDevice(SelectedDeviceName());
    const std::string source = "Source: " + device.name + ": " + device.description + "\n";
    for (const char* name : {"lod-measured.png", "lod-ideal.png", "lod-error.png", "lod-polar.png", "frame.png"}) {
        const std::string texts = TextsOf(scratch / name);
        EXPECT_EQ(texts.rfind("Software: Quillmark " + batch::ProgramVersion() + "\n", 0), 0u) << name << texts;
        EXPECT_NE(texts.find(source), std::string::npos) << name << texts;
        const std::string settings = texts.substr(texts.find("Settings: "));
        EXPECT_NE(settings.find("--device " + device.name), std::string::npos) << name << texts;
        EXPECT_NE(settings.find("--min-filter "), std::string::npos) << name << texts;
        const bool drawnByLod = std::string(name) != "frame.png";
        EXPECT_EQ(texts.find("--angle 70") != std::string::npos, drawnByLod) << name << texts;
        EXPECT_EQ(texts.find("--object plane") != std::string::npos, drawnByLod) << name << texts;
        EXPECT_EQ(texts.find("--lod-bias 1.5") != std::string::npos, !drawnByLod) << name << texts;
    }
}

}  // namespace
}  // namespace quillmark
