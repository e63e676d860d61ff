// The tables shared with the host, seen from this compiler: each operation in
// the host's slot, one destructor slot first, and the slot's contract. (The
// Windows tests also drive the module from a host built in the host's ABI.)
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "core/ClassDescriptor.h"
#include "core/CustomControls.h"
#include "filter/RotationFilter.h"

namespace {

// The table slot of a virtual operation: this ABI stores a pointer to a
// virtual member as one plus the slot's byte offset in the table.
template <class Member>
std::ptrdiff_t SlotOf(Member member)
{
    static_assert(sizeof member == 2 * sizeof(std::ptrdiff_t), "a pointer to member is two words");
    std::ptrdiff_t words[2];
    std::memcpy(words, &member, sizeof words);
    return (words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

// Each listed operation must sit in the slot of its place in the list.
template <std::size_t Count>
void ExpectInListedSlots(const std::ptrdiff_t (&slots)[Count], const char* table)
{
    for (std::size_t i = 0; i < Count; ++i)
        EXPECT_EQ(slots[i], static_cast<std::ptrdiff_t>(i)) << table << " operation " << i;
}

using LerpByFraction = int (ImageFilter::*)(int, int, float);
using LerpByPercent = int (ImageFilter::*)(int, int, int);
using IdentifierInto = ClassIdentifier* (VELDRA_THISCALL ClassDescriptor::*)(ClassIdentifier*);

// Counts what ending a filter does: destructors run, storage released.
int destroyed = 0;
int released = 0;

class CountingFilter : public RotationFilter {
public:
    ~CountingFilter() override { ++destroyed; }
    static void operator delete(void* storage)
    {
        ++released;
        ::operator delete(storage);
    }
};

}  // namespace

// A host reaches each operation by its place in the table alone.
TEST(HostTables, ImageFilterOperationsSitInTheHostsOrder)
{
    const std::ptrdiff_t slots[] = {SlotOf(&ImageFilter::ScalarDeletingDestructor),
                                    SlotOf(&ImageFilter::FilterName),
                                    SlotOf(&ImageFilter::AuthorText),
                                    SlotOf(&ImageFilter::NoticeText),
                                    SlotOf(&ImageFilter::VersionTag),
                                    SlotOf(&ImageFilter::CapabilityFlags),
                                    SlotOf(&ImageFilter::OpenAboutBox),
                                    SlotOf(&ImageFilter::ShowControl),
                                    SlotOf(&ImageFilter::SetSource),
                                    SlotOf(&ImageFilter::SetForeground),
                                    SlotOf(&ImageFilter::SetMask),
                                    SlotOf(&ImageFilter::SetFilterInfo),
                                    SlotOf(&ImageFilter::ProcessFrame),
                                    SlotOf(&ImageFilter::Max),
                                    SlotOf(static_cast<LerpByFraction>(&ImageFilter::Lerp)),
                                    SlotOf(static_cast<LerpByPercent>(&ImageFilter::Lerp)),
                                    SlotOf(&ImageFilter::EvaluateConfigure),
                                    SlotOf(&ImageFilter::LoadConfigure),
                                    SlotOf(&ImageFilter::SaveConfigure),
                                    SlotOf(&ImageFilter::CreatePreview),
                                    SlotOf(&ImageFilter::ChannelsRequired)};
    ExpectInListedSlots(slots, "filter");
}

TEST(HostTables, DescriptorStorageAndSpinnerOperationsSitInTheHostsOrder)
{
    const std::ptrdiff_t descriptor[] = {SlotOf(&ClassDescriptor::ClassFlag),
                                         SlotOf(&ClassDescriptor::CreateObject),
                                         SlotOf(&ClassDescriptor::OptionalA),
                                         SlotOf(&ClassDescriptor::OptionalB),
                                         SlotOf(&ClassDescriptor::ClassTitle),
                                         SlotOf(&ClassDescriptor::FamilyCode),
                                         SlotOf(static_cast<IdentifierInto>(&ClassDescriptor::Identifier)),
                                         SlotOf(&ClassDescriptor::CategoryText),
                                         SlotOf(&ClassDescriptor::OptionalC),
                                         SlotOf(&ClassDescriptor::OptionalD),
                                         SlotOf(&ClassDescriptor::OptionalE),
                                         SlotOf(&ClassDescriptor::OptionalF),
                                         SlotOf(&ClassDescriptor::OptionalG),
                                         SlotOf(&ClassDescriptor::OptionalH),
                                         SlotOf(&ClassDescriptor::OptionalI)};
    ExpectInListedSlots(descriptor, "descriptor");

    EXPECT_EQ(SlotOf(&BitmapStorage::ScalarDeletingDestructor), 0);
    EXPECT_EQ(SlotOf(&BitmapStorage::GetPixels), 1);
    EXPECT_EQ(SlotOf(&BitmapStorage::PutPixels), 2);

    EXPECT_EQ(SlotOf(&ISpinnerControl::ReadValue), 0);
    EXPECT_EQ(SlotOf(&ISpinnerControl::AssignValue), 1);
    EXPECT_EQ(SlotOf(&ISpinnerControl::AssignLimits), 2);
    EXPECT_EQ(SlotOf(&ISpinnerControl::BindEdit), 3);
}

// Flags bit 0 decides whether the slot frees as well as destroys; either way
// the most derived destructor runs once and the object's address comes back.
TEST(HostTables, DestructorSlotDestroysAndFreesOnlyWithFlagOne)
{
    destroyed = released = 0;
    ImageFilter* kept = new CountingFilter;
    EXPECT_EQ(kept->ScalarDeletingDestructor(0), kept);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(released, 0);
    CountingFilter::operator delete(kept);  // what a host does with storage it keeps

    destroyed = released = 0;
    ImageFilter* freed = new CountingFilter;
    EXPECT_EQ(freed->ScalarDeletingDestructor(1), freed);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(released, 1);
}
