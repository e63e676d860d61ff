#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/CustomControls.h"
#include "filter/RotationFilter.h"
#include "module/Exports.h"
#include "module/ModuleEntry.h"

namespace {

std::array<std::uint8_t, 20> SavedBlock(ImageFilter& filter)
{
    std::array<std::uint8_t, 20> block{};
    filter.SaveConfigure(block.data());
    return block;
}

HINSTANCE FakeInstance(std::uintptr_t value) { return reinterpret_cast<HINSTANCE>(value); }

// Counts how often the entry point registered the common controls, where
// the build can see it.
int CommonControlsInits()
{
#if defined(_WIN32)
    return -1;
#else
    return Win32StubCommonControlsInitCount();
#endif
}

}  // namespace

// The host enumerates the module through these; they must be stable and
// reject indices outside the table.
TEST(Exports, EnumerateTheOneClass)
{
    EXPECT_EQ(LibNumberClasses(), 1);
    EXPECT_EQ(LibVersion(), 110);
    EXPECT_EQ(LibDescription(), LibDescription());
    EXPECT_EQ(std::strncmp(LibDescription(), "Veldra Image Generator, ", 24), 0);
    ClassDescriptor* descriptor = LibClassDesc(0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_EQ(LibClassDesc(0), descriptor);
    EXPECT_EQ(LibClassDesc(1), nullptr);
    EXPECT_EQ(LibClassDesc(-1), nullptr);
    EXPECT_EQ(LibClassDesc(0x7FFFFFFF), nullptr);
    EXPECT_EQ(LibNumberClasses(), 1);
    EXPECT_EQ(LibVersion(), 110);
}

// All fifteen answers of the descriptor, the nine defaults included.
TEST(ClassDescriptorAnswers, ConstantAnswers)
{
    ClassDescriptor* d = LibClassDesc(0);
    EXPECT_EQ(d->ClassFlag(), 1);
    EXPECT_EQ(d->OptionalA(7), 0);
    EXPECT_EQ(d->OptionalB(7), 0);
    EXPECT_STREQ(d->ClassTitle(), "Veldra");
    EXPECT_EQ(d->FamilyCode(), 3584u);
    const ClassIdentifier id = d->Identifier();
    EXPECT_EQ(id.first, 0x6AC71744u);
    EXPECT_EQ(id.second, 0x41DE1E4Eu);
    EXPECT_TRUE(d->Identifier() == id);
    EXPECT_STREQ(d->CategoryText(), "Image Filter");
    EXPECT_EQ(d->OptionalC(7), 1);
    EXPECT_EQ(d->OptionalD(), 0);
    d->OptionalE(7);
    d->OptionalF(7);
    EXPECT_EQ(d->OptionalG(), 0);
    EXPECT_EQ(d->OptionalH(7), 0);
    EXPECT_EQ(d->OptionalI(7), 0);
}

// Each CreateObject makes a separate filter with defaults, whatever the
// argument; the class title is the filter's own name buffer.
TEST(ClassDescriptorAnswers, CreateObjectMakesDistinctDefaultFilters)
{
    ClassDescriptor* d = LibClassDesc(0);
    std::unique_ptr<ImageFilter> a(static_cast<ImageFilter*>(d->CreateObject(0)));
    std::unique_ptr<ImageFilter> b(static_cast<ImageFilter*>(d->CreateObject(-123456)));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(SavedBlock(*a), SavedBlock(*b));
    EXPECT_EQ(SavedBlock(*a), SavedBlock(*std::make_unique<RotationFilter>()));
    EXPECT_EQ(d->ClassTitle(), a->FilterName());
}

// The loader's calls in order: a second attach is refused and keeps the
// first handle; after a detach, attach registers the controls again; thread
// notifications change nothing.
TEST(EntryPoint, AttachDetachLifecycle)
{
    ASSERT_EQ(ModuleInstance, nullptr);
    const int customBefore = CustomControlsInitCount();
    const int commonBefore = CommonControlsInits();

    EXPECT_EQ(DllMain(FakeInstance(0x1000), DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(ModuleInstance, FakeInstance(0x1000));
    EXPECT_EQ(ControlsReady, 1);
    EXPECT_EQ(CustomControlsInitCount(), customBefore + 1);

    EXPECT_EQ(DllMain(FakeInstance(0x2000), DLL_PROCESS_ATTACH, nullptr), FALSE);
    EXPECT_EQ(ModuleInstance, FakeInstance(0x1000));
    EXPECT_EQ(CustomControlsInitCount(), customBefore + 1);

    EXPECT_EQ(DllMain(FakeInstance(0x3000), DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(FakeInstance(0x3000), DLL_THREAD_DETACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(FakeInstance(0x3000), 77, nullptr), TRUE);
    EXPECT_EQ(ModuleInstance, FakeInstance(0x1000));
    EXPECT_EQ(ControlsReady, 1);

    EXPECT_EQ(DllMain(FakeInstance(0x1000), DLL_PROCESS_DETACH, nullptr), TRUE);
    EXPECT_EQ(ModuleInstance, nullptr);
    EXPECT_EQ(ControlsReady, 0);

    EXPECT_EQ(DllMain(FakeInstance(0x4000), DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(ModuleInstance, FakeInstance(0x4000));
    EXPECT_EQ(CustomControlsInitCount(), customBefore + 2);
    if (commonBefore >= 0) {
        EXPECT_EQ(CommonControlsInits(), commonBefore + 2);
    }

    EXPECT_EQ(DllMain(FakeInstance(0x4000), DLL_PROCESS_DETACH, nullptr), TRUE);
}
