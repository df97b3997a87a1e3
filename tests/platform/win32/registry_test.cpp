#include "platform/win32/windows.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Quillmark\\Direct3D", &key),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        ::unsetenv("QUILLMARK_REG_TestSwitch");
    }
    LONG Query(DWORD& type, DWORD& value, DWORD& size) {
        size = sizeof value;
        return RegQueryValueExA(key, "TestSwitch", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                &size);
    }
    HKEY key = nullptr;
};

TEST_F(Registry, DecimalAndHexReadAsDword) {
    DWORD type = 0, value = 0, size = 0;
    ::setenv("QUILLMARK_REG_TestSwitch", "5", 1);
    ASSERT_EQ(Query(type, value, size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(size, 4u);
    ::setenv("QUILLMARK_REG_TestSwitch", "0xFFFFFFFF", 1);
    ASSERT_EQ(Query(type, value, size), ERROR_SUCCESS);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    ::setenv("QUILLMARK_REG_TestSwitch", "0", 1);
    ASSERT_EQ(Query(type, value, size), ERROR_SUCCESS);
    EXPECT_EQ(value, 0u);
}

TEST_F(Registry, OtherTextReadsAsString) {
    DWORD type = 0, size = 0;
    for (const char* text : {"yes", "4294967296", "-1", "0x", "12abc", ""}) {
        ::setenv("QUILLMARK_REG_TestSwitch", text, 1);
        char data[32] = {};
        size = sizeof data;
        ASSERT_EQ(RegQueryValueExA(key, "TestSwitch", nullptr, &type,
                                   reinterpret_cast<BYTE*>(data), &size),
                  ERROR_SUCCESS)
            << text;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << text;
        EXPECT_STREQ(data, text);
        EXPECT_EQ(size, std::strlen(text) + 1);
    }
}

TEST_F(Registry, UnsetValueIsNotFound) {
    DWORD type = 0, value = 0, size = 0;
    EXPECT_EQ(Query(type, value, size), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DataSizeIsHonoured) {
    ::setenv("QUILLMARK_REG_TestSwitch", "long text value", 1);
    DWORD type = 0, value = 0x12345678, size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "TestSwitch", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                               &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(value, 0x12345678u);  // nothing written past the reported failure
    size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "TestSwitch", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 16u);
    ::setenv("QUILLMARK_REG_TestSwitch", "7", 1);
    BYTE two[2];
    size = 2;
    EXPECT_EQ(RegQueryValueExA(key, "TestSwitch", nullptr, &type, two, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegQueryValueExA(key, "TestSwitch", nullptr, &type, two, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST(RegistryKeys, OnlyTheLibraryKeyExists) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Other", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\quillmark\\direct3d", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    int bogus = 0;
    EXPECT_EQ(RegOpenKeyA(reinterpret_cast<HKEY>(&bogus), "x", &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(reinterpret_cast<HKEY>(&bogus), "x", nullptr, nullptr, nullptr,
                               nullptr),
              ERROR_INVALID_HANDLE);
}

}  // namespace
