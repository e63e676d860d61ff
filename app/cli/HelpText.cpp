#include "cli/HelpText.h"

#include <map>

#include "Failure.h"

namespace {

const char kOverview[] =
    "usage: veldra COMMAND [options]   (veldra COMMAND --help for its options)\n"
    "\n"
    "  veldra render INPUT OUTPUT [options]   run a frame or a sequence through the filter\n"
    "  veldra info [--module FILE]            what the module reports about itself\n"
    "  veldra params FILE                     show a stored 20-byte parameter block\n"
    "  veldra demo [DIR] [options]            render the built-in test card (default DIR: veldra-demo)\n"
    "  veldra farm submit|status|retry|cancel ...   render on a Slurm cluster (veldra farm help)\n"
    "  veldra --version                       the program's release\n";

const char kRender[] =
    "usage: veldra render INPUT OUTPUT [options]\n"
    "\n"
    "Turns a frame or a sequence with the filter, frame by frame, as the host's queue does.\n"
    "INPUT and OUTPUT are image files or sequence patterns. In a pattern, '#' and '@' stand\n"
    "for one digit each (shot.####.png is shot.0012.png; a single # is one digit), and printf\n"
    "conversions keep printf's meaning (%04d zero-pads, %4d pads with spaces, %d does not pad).\n"
    "An INPUT that exists as a file is taken as written, and OUTPUT is a pattern only when\n"
    "INPUT is one.\n"
    "\n"
    "The angle moves in whole percents of the range: frame f of a range of n frames starting at\n"
    "A gets start + (end - start) * p / 100 with p = (f - A) * 100 / (n - 1), truncated.\n"
    "\n"
    "options:\n"
    "  -f, --frames LIST     frames of a pattern: 1-100, 1-100x2, 1-10,20 (default: those on disk)\n"
    "      --frame N         frame number of a single image (default 0)\n"
    "  -r, --range A-B       the filter's active range (default: the frames rendered)\n"
    "  -a, --axis x|y|z      axis to turn about\n"
    "  -p, --pivot lower|center|upper\n"
    "  -s, --start DEG       angle at the first frame of the range\n"
    "  -e, --end DEG         angle at the last frame of the range\n"
    "      --alpha keep      carry the picture's alpha through the turn (default: filter, which\n"
    "                        makes every covered pixel opaque)\n"
    "  -d, --depth uint8|uint16|half|float\n"
    "                        output channel format (default: the input's, where the format holds it)\n"
    "  -n, --dry-run         list each frame's percent, angle and files; write nothing\n"
    "      --params FILE     start from a stored parameter block\n"
    "      --save-params FILE  store the parameter block that was used\n"
    "      --compression 0..9  PNG deflate level (default 1: fast)\n"
    "  -j, --jobs N          frames rendered in parallel (default: number of cores)\n"
    "      --module FILE     the filter module (default: the one installed with veldra)\n"
    "  -q, --quiet           no progress bar and no summary\n";

const char kInfo[] =
    "usage: veldra info [--module FILE]\n"
    "\n"
    "Loads the module and shows what it reports about itself.\n";

const char kParams[] =
    "usage: veldra params FILE\n"
    "\n"
    "Shows a stored 20-byte parameter block (from --save-params or veldra-dialogs) in words.\n";

const char kDemo[] =
    "usage: veldra demo [DIR] [options]\n"
    "\n"
    "Turns the built-in test card through all nine axis and pivot turns, writes the frames\n"
    "and a contact sheet to DIR (default: veldra-demo).\n"
    "\n"
    "options:\n"
    "      --alpha keep      carry the card's alpha through the turn (as for render)\n"
    "  -j, --jobs N          frames rendered in parallel (default: number of cores)\n"
    "      --module FILE     the filter module\n"
    "  -q, --quiet           no progress bar\n";

const std::map<std::string, const char*>& Topics()
{
    static const std::map<std::string, const char*> topics = {
        {"", kOverview}, {"render", kRender}, {"info", kInfo}, {"params", kParams}, {"demo", kDemo}};
    return topics;
}

}  // namespace

bool IsCommand(const std::string& name) { return !name.empty() && Topics().count(name) != 0; }

std::string HelpText(const std::string& topic)
{
    const auto found = Topics().find(topic);
    if (found == Topics().end())
        throw Failure(topic + ": unknown command (see 'veldra --help')");
    return found->second;
}
