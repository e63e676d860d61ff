#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "filter/RotationFilter.h"

namespace {

using Block = std::array<std::uint8_t, 20>;

Block Save(RotationFilter& filter)
{
    Block block{};
    EXPECT_EQ(filter.SaveConfigure(block.data()), 1);
    return block;
}

const Block kDefaultBlock = {0x44, 0x17, 0xC7, 0x6A, 0xF2, 0x03, 0x00, 0x00, 0xF6, 0x03,
                             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

}  // namespace

// Stored scenes depend on the exact bytes of a new filter's block.
TEST(FilterParameters, NewFilterSavesTheDefaultBlock)
{
    RotationFilter filter;
    EXPECT_EQ(filter.EvaluateConfigure(), 20u);
    EXPECT_EQ(Save(filter), kDefaultBlock);
}

// A block from another filter must never overwrite ours, not even in part.
TEST(FilterParameters, ForeignOrMissingBlocksAreRefused)
{
    RotationFilter filter;
    Block foreign = kDefaultBlock;
    foreign[0] = 0x45;
    foreign[4] = 0xF4;
    EXPECT_EQ(filter.LoadConfigure(foreign.data()), 0);
    EXPECT_EQ(Save(filter), kDefaultBlock);

    EXPECT_EQ(filter.LoadConfigure(nullptr), 0);
    EXPECT_EQ(filter.SaveConfigure(nullptr), 0);
    EXPECT_EQ(Save(filter), kDefaultBlock);
}

// Restoring takes every byte after a matching tag, even codes the filter
// does not know, and saves them back unchanged.
TEST(FilterParameters, TaggedBlocksRoundTripByteForByte)
{
    RotationFilter filter;
    Block stored = kDefaultBlock;
    stored[4] = stored[5] = 0;  // axis 0
    const float start = -12.5f, end = 1e30f;
    std::memcpy(&stored[12], &start, 4);
    std::memcpy(&stored[16], &end, 4);
    stored[9] = 0x7F;  // pivot far outside the codes
    EXPECT_EQ(filter.LoadConfigure(stored.data()), 1);
    EXPECT_EQ(Save(filter), stored);
}

// The host reads the texts by pointer and never copies them: every call and
// every object must hand out the same buffers.
TEST(FilterIdentity, TextsAndNumbersAreModuleWide)
{
    RotationFilter a, b;
    EXPECT_STREQ(a.FilterName(), "Veldra");
    EXPECT_EQ(a.FilterName(), b.FilterName());
    EXPECT_EQ(a.FilterName(), a.FilterName());
    EXPECT_EQ(a.AuthorText(), b.AuthorText());
    EXPECT_EQ(a.NoticeText(), b.NoticeText());
    EXPECT_GT(std::strlen(a.AuthorText()), 0u);
    EXPECT_NE(std::strstr(a.NoticeText(), "2026"), nullptr);
    EXPECT_EQ(a.VersionTag(), 1791432516u);
    EXPECT_EQ(a.CapabilityFlags(), 6u);
}

// Without a source the render pass refuses before touching anything.
TEST(FilterRender, NoSourceBitmapIsRefused)
{
    RotationFilter filter;
    EXPECT_EQ(filter.ProcessFrame(nullptr), 0);
    EXPECT_EQ(Save(filter), kDefaultBlock);
}

#if !defined(_WIN32)
// Builds without windows have no dialogs: both say they could not open and
// leave the parameters alone.
TEST(FilterDialogs, NativeBuildHasNoDialogs)
{
    RotationFilter filter;
    EXPECT_EQ(filter.ShowControl(nullptr), -1);
    EXPECT_EQ(filter.OpenAboutBox(nullptr), -1);
    EXPECT_EQ(Save(filter), kDefaultBlock);
}
#endif
