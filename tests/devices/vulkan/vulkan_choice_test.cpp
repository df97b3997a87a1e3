// Device names of the Vulkan devices, and the validation layers' messages
// reaching the tests.
#include "vulkan_fixture.h"

namespace quillmark::vulkan::testing {
namespace {

TEST(VulkanChoice, NamesReadAsTheFirstGpuADeviceIndexOrLavapipe) {
    VulkanChoice choice;
    ASSERT_TRUE(ParseVulkanChoice("vulkan", &choice));
    EXPECT_EQ(choice.kind, VulkanChoice::Kind::First);
    ASSERT_TRUE(ParseVulkanChoice("vulkan:12", &choice));
    EXPECT_EQ(choice.kind, VulkanChoice::Kind::Device);
    EXPECT_EQ(choice.device, 12u);
    ASSERT_TRUE(ParseVulkanChoice("lavapipe", &choice));
    EXPECT_EQ(choice.kind, VulkanChoice::Kind::Lavapipe);
    for (const char* name : {"vulkan:", "vulkan:x", "vulkan:1x", "vulkan:-1", "vulkan:99999", "vulkan0", "Vulkan",
                             "lavapipe:0", ""})
        EXPECT_FALSE(ParseVulkanChoice(name, &choice)) << name;
    EXPECT_TRUE(IsDeviceName("vulkan:3"));
    EXPECT_FALSE(IsDeviceName("vulkan:three"));
}

using VulkanDevices = VulkanTest;

TEST_F(VulkanDevices, EachPhysicalDeviceIsNamedByItsIndexAndOneBeyondIsRefused) {
    const std::vector<std::string> names = VulkanDeviceNames();
    ASSERT_FALSE(names.empty());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], "vulkan:" + std::to_string(i));
        std::string description, error;
        EXPECT_TRUE(DescribeDevice(names[i], &description, &error)) << error;
    }
    const std::vector<std::string> all = DeviceNames();
    EXPECT_NE(std::find(all.begin(), all.end(), "vulkan:0"), all.end());
    std::string description, error;
    const std::string beyond = "vulkan:" + std::to_string(names.size());
    EXPECT_FALSE(DescribeDevice(beyond, &description, &error));
    EXPECT_NE(error.find("numbered from 0"), std::string::npos) << error;
    EXPECT_EQ(CreateNamedDirect3D(beyond, &error), nullptr);
}

TEST_F(VulkanDevices, CapsReportTheDriversAnisotropyAndAddressModes) {
    std::string error;
    std::shared_ptr<VulkanContext> context = VulkanContext::Open({VulkanChoice::Kind::Lavapipe, 0}, &error);
    ASSERT_NE(context, nullptr) << error;
    Device vulkan(kLavapipe);
    D3DCAPS9 caps{};
    ASSERT_EQ(vulkan->GetDeviceCaps(&caps), S_OK);
    EXPECT_EQ(caps.MaxAnisotropy, DWORD(context->Info().maxAnisotropy));
    EXPECT_EQ((caps.TextureAddressCaps & D3DPTADDRESSCAPS_MIRRORONCE) != 0, context->Info().mirrorClampToEdge);
    EXPECT_EQ((caps.TextureAddressCaps & D3DPTADDRESSCAPS_BORDER) != 0, context->Info().customBorderColor);
}

// The layers are really on: a sampler asking for more anisotropy than the
// device was opened with is reported (the tests above would see such a
// message), and the report names the broken rule.
TEST_F(VulkanDevices, TheValidationLayersReportAnInvalidCall) {
    std::string error;
    std::shared_ptr<VulkanContext> context = VulkanContext::Open({VulkanChoice::Kind::Lavapipe, 0}, &error);
    ASSERT_NE(context, nullptr) << error;
    auto info = VulkanStruct<VkSamplerCreateInfo>(VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO);
    info.anisotropyEnable = VK_TRUE;
    info.maxAnisotropy = context->Info().maxAnisotropy * 4;
    VkSampler sampler = VK_NULL_HANDLE;
    vkCreateSampler(context->Device(), &info, nullptr, &sampler);
    if (sampler) vkDestroySampler(context->Device(), sampler, nullptr);
    const std::vector<std::string> messages = TakeValidationMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages[0].find("maxAnisotropy"), std::string::npos) << messages[0];
}

}  // namespace
}  // namespace quillmark::vulkan::testing
