// `veldra info`: what the module reports about itself, through its exports,
// its class descriptor and a filter object.
#include <cstdio>

#include "commands/Commands.h"
#include "render/module/FilterModule.h"

int RunInfo(const Arguments& arguments)
{
    const ModuleFacts facts = DescribeModule(*LoadFilterModule(arguments.modulePath));
    std::printf("module:        %s\n", facts.path.c_str());
    std::printf("description:   %s\n", facts.description.c_str());
    std::printf("version:       %d\n", facts.version);
    std::printf("classes:       %d\n", facts.classes);
    std::printf("class name:    %s\n", facts.className.c_str());
    std::printf("category:      %s\n", facts.category.c_str());
    std::printf("family code:   0x%X\n", static_cast<unsigned>(facts.familyCode));
    std::printf("identifier:    0x%08X 0x%08X\n", static_cast<unsigned>(facts.identifier[0]),
                static_cast<unsigned>(facts.identifier[1]));
    std::printf("filter name:   %s\n", facts.filterName.c_str());
    std::printf("author:        %s\n", facts.author.c_str());
    std::printf("notice:        %s\n", facts.notice.c_str());
    std::printf("tag:           0x%08X\n", static_cast<unsigned>(facts.tag));
    std::printf("capabilities:  0x%X\n", static_cast<unsigned>(facts.capabilities));
    std::printf("block size:    %u bytes\n", static_cast<unsigned>(facts.blockSize));
    return 0;
}
