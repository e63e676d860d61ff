// `veldra info`: what the module reports about itself, through its exports,
// its class descriptor and a filter object.
#include <cstdio>

#include "commands/Commands.h"
#include "render/module/FilterModule.h"

int RunInfo(const Arguments& arguments)
{
    const auto module = LoadFilterModule(arguments.modulePath);
    const auto filter = MakeFilter(*module);
    ClassDescriptor* descriptor = module->ClassDesc(0);  // MakeFilter found it
    const ClassIdentifier id = descriptor->Identifier();

    std::printf("module:        %s\n", module->Path().c_str());
    std::printf("description:   %s\n", module->Description());
    std::printf("version:       %d\n", module->Version());
    std::printf("classes:       %d\n", module->NumberClasses());
    std::printf("class name:    %s\n", descriptor->ClassTitle());
    std::printf("category:      %s\n", descriptor->CategoryText());
    std::printf("family code:   0x%X\n", static_cast<unsigned>(descriptor->FamilyCode()));
    std::printf("identifier:    0x%08X 0x%08X\n", static_cast<unsigned>(id.first), static_cast<unsigned>(id.second));
    std::printf("filter name:   %s\n", filter->FilterName());
    std::printf("author:        %s\n", filter->AuthorText());
    std::printf("notice:        %s\n", filter->NoticeText());
    std::printf("tag:           0x%08X\n", static_cast<unsigned>(filter->VersionTag()));
    std::printf("capabilities:  0x%X\n", static_cast<unsigned>(filter->CapabilityFlags()));
    std::printf("block size:    %u bytes\n", static_cast<unsigned>(filter->EvaluateConfigure()));
    return 0;
}
