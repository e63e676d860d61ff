#include "farm/TaskEnvironment.h"

#include <cstdlib>
#include <unistd.h>

#include "messages/Failure.h"

std::string HostName()
{
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string SlurmVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        throw Failure("farm task", std::string(name) + " is not set (tasks are started by Slurm)");
    return value;
}
