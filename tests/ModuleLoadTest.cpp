// Loads the real module file the way the host does.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "filter/Identity.h"
#include "loader/ModuleExports.h"
#include "loader/ModuleLoader.h"

namespace {

const char* const kModule = VELDRA_MODULE_FILE;

std::string LoadError(const std::string& path)
{
    try {
        LoadedModule module(path);
    } catch (const ModuleLoadError& error) {
        return error.what();
    }
    return "";
}

}  // namespace

// The exports resolve by name and by ordinals 1 to 4 in their fixed order,
// and a filter made through them saves the default block.
TEST(ModuleLoad, ExportsResolveAndMakeFilters)
{
    LoadedModule module(kModule);
    ASSERT_EQ(std::size(kModuleExports), 4u);
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        void* byName = module.FindExport(kModuleExports[ordinal - 1]);
        ASSERT_NE(byName, nullptr) << kModuleExports[ordinal - 1];
        EXPECT_EQ(module.FindExport(ordinal), byName) << ordinal;
    }
    EXPECT_EQ(module.FindExport(5), nullptr);
    EXPECT_EQ(module.FindExport("RotationFilterClassDesc"), nullptr);
    EXPECT_EQ(module.NumberClasses(), 1);
    EXPECT_EQ(module.Version(), 110);
    EXPECT_EQ(std::string(module.Description()).rfind("Veldra Image Generator", 0), 0u);

    auto filter = module.CreateFilter();
    std::array<std::uint8_t, 20> block{};
    ASSERT_EQ(filter->SaveConfigure(block.data()), 1);
    const std::array<std::uint8_t, 20> expected = {0x44, 0x17, 0xC7, 0x6A, 0xF2, 0x03,
                                                   0x00, 0x00, 0xF6, 0x03, 0x00, 0x00};
    EXPECT_EQ(block, expected);
    EXPECT_STREQ(filter->FilterName(), "Veldra");
}

// Every failure names the file and says why.
TEST(ModuleLoad, FailuresNameTheFileAndCause)
{
    const std::string missing = LoadError("no-such-module.flt");
    EXPECT_NE(missing.find("no-such-module.flt"), std::string::npos) << missing;

    {
        std::ofstream("not-a-module.flt") << "this is text, not a module\n";
    }
    const std::string notModule = LoadError("not-a-module.flt");
    EXPECT_NE(notModule.find("not-a-module.flt"), std::string::npos) << notModule;
    std::remove("not-a-module.flt");

    // A real library that is not a filter module.
#if defined(_WIN32)
    const std::string library = "geom.dll";
#else
    const std::string library = "libgeom.so";
#endif
    const std::string noExports = LoadError(library);
    EXPECT_NE(noExports.find(library), std::string::npos) << noExports;

#if defined(_WIN32)
    // A program of the other processor width: the loader's words, with the
    // file in place of their placeholder, and which width it is.
    const std::string otherWidth = LoadError(VELDRA_OTHER_WIDTH_FILE);
    EXPECT_EQ(otherWidth.find("%1"), std::string::npos) << otherWidth;
    const std::size_t named = otherWidth.find(VELDRA_OTHER_WIDTH_FILE);
    EXPECT_NE(otherWidth.find(VELDRA_OTHER_WIDTH_FILE, named + 1), std::string::npos)
        << "the loader's words name the file: " << otherWidth;
    EXPECT_NE(otherWidth.find(sizeof(void*) == 8 ? "it is a 32-bit module, and this 64-bit program"
                                                 : "it is a 64-bit module, and this 32-bit program"),
              std::string::npos)
        << otherWidth;
#endif
}

#if !defined(_WIN32)
// One process loads the module once; a second attach while the first is
// alive is refused, as the Windows entry point refuses it.
TEST(ModuleLoad, SecondAttachIsRefusedUntilDetach)
{
    {
        LoadedModule first(kModule);
        const std::string second = LoadError(kModule);
        EXPECT_NE(second.find("refused"), std::string::npos) << second;
        EXPECT_EQ(first.Version(), 110);
    }
    LoadedModule again(kModule);
    EXPECT_EQ(again.NumberClasses(), 1);
}
#endif
