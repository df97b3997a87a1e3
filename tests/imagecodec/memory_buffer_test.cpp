// MemoryBuffer: reference counting, interfaces and growth.
#include "platform/d3d9/d3d9.h"
#include "imagecodec/memory_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quillmark {
namespace {

TEST(MemoryBuffer, CreateGivesOneReferenceAndTheRequestedSize) {
    MemoryBuffer* buffer = nullptr;
    EXPECT_EQ(MemoryBuffer::Create(16, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(MemoryBuffer::Create(16, &buffer), S_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 16u);
    EXPECT_NE(buffer->GetBufferPointer(), nullptr);
    EXPECT_EQ(buffer->AddRef(), 2u);
    EXPECT_EQ(buffer->Release(), 1u);
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST(MemoryBuffer, AnswersItsOwnInterfacesOnly) {
    MemoryBuffer* buffer = nullptr;
    ASSERT_EQ(MemoryBuffer::Create(1, &buffer), S_OK);
    void* out = nullptr;
    EXPECT_EQ(buffer->QueryInterface(IID_MemoryBuffer, &out), S_OK);
    EXPECT_EQ(out, buffer);
    EXPECT_EQ(buffer->QueryInterface(IID_IUnknown, &out), S_OK);
    out = buffer;
    EXPECT_EQ(buffer->QueryInterface(IID_IDirect3DSurface9, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(buffer->Release(), 2u);
    EXPECT_EQ(buffer->Release(), 1u);
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST(MemoryBuffer, GrowKeepsContentsAndSmallerSizesDoNothing) {
    MemoryBuffer* buffer = nullptr;
    ASSERT_EQ(MemoryBuffer::Create(4, &buffer), S_OK);
    std::memcpy(buffer->GetBufferPointer(), "abcd", 4);
    void* before = buffer->GetBufferPointer();
    EXPECT_EQ(buffer->Grow(2), S_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 4u);
    EXPECT_EQ(buffer->GetBufferPointer(), before);
    EXPECT_EQ(buffer->Grow(4000), S_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 4000u);
    EXPECT_EQ(std::memcmp(buffer->GetBufferPointer(), "abcd", 4), 0);
    buffer->Release();
}

TEST(MemoryBuffer, TrimShortensAndKeepsTheFirstBytes) {
    MemoryBuffer* buffer = nullptr;
    ASSERT_EQ(MemoryBuffer::Create(4096, &buffer), S_OK);
    std::memcpy(buffer->GetBufferPointer(), "abcdef", 6);
    buffer->Trim(5000);
    EXPECT_EQ(buffer->GetBufferSize(), 4096u);
    buffer->Trim(3);
    EXPECT_EQ(buffer->GetBufferSize(), 3u);
    EXPECT_EQ(std::memcmp(buffer->GetBufferPointer(), "abc", 3), 0);
    buffer->Release();
}

}  // namespace
}  // namespace quillmark
