#include "farm/TaskEnvironment.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

std::string HostName()
{
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

TaskPlace ThisTaskPlace()
{
    TaskPlace place;
    place.host = HostName();
    if (const char* node = std::getenv("SLURMD_NODENAME"))
        place.node = node;
    const char* restart = std::getenv("SLURM_RESTART_COUNT");
    if (const auto count = restart ? ParseInteger(restart, 0, INT_MAX) : std::nullopt)
        place.restart = static_cast<int>(*count);
    return place;
}

std::string SlurmVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        throw Failure("farm task", std::string(name) + " is not set (tasks are started by Slurm)");
    return value;
}
