// --colorconvert: turned frames converted between colour spaces before they
// are written, with the built-in spaces or a studio's OpenColorIO config.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "CliHarness.h"

namespace {

double SrgbOf(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// Expects `converted` to hold `curve` of `turned`'s colour, each value
// within `steps` 16-bit steps, and `turned`'s alpha as it is.
void ExpectConverted(const Picture& turned, const Picture& converted, const std::function<double(double)>& curve,
                     int steps, const std::string& what)
{
    ASSERT_EQ(turned.values.size(), converted.values.size()) << what;
    int worst = 0;
    for (std::size_t i = 0; i < turned.values.size(); ++i) {
        const bool alpha = turned.channels == 4 && i % 4 == 3;
        const double want = alpha ? turned.values[i] : curve(turned.values[i] / 65535.0) * 65535;
        worst = std::max(worst, static_cast<int>(std::lround(std::abs(want - converted.values[i]))));
    }
    EXPECT_LE(worst, steps) << what;
}

// A config of two spaces: "lin", and "gam", whose values are linear ones
// to the power 1 / 2.2.
const char kStudioConfig[] = R"(ocio_profile_version: 2
roles:
  default: lin
  scene_linear: lin
file_rules:
  - !<Rule> {name: Default, colorspace: default}
displays:
  show:
    - !<View> {name: gamma, colorspace: gam}
colorspaces:
  - !<ColorSpace>
    name: lin
  - !<ColorSpace>
    name: gam
    to_scene_reference: !<ExponentTransform> {value: [2.2, 2.2, 2.2, 1]}
)";

}  // namespace

// The turn happens on the values as read and the conversion after it: a
// converted render is the unconverted render with the sRGB curve applied,
// for opaque colour and for straight colour carried with its alpha.
TEST(ColourConversion, TurnedFramesAreConvertedAfterTheTurn)
{
    const std::string folder = ScratchFolder("colour-convert");
    Picture linear = CoordinatePicture(33, 21, 4);
    for (std::size_t i = 3; i < linear.values.size(); i += 4)
        linear.values[i] = static_cast<std::uint16_t>(32768 + linear.values[i] / 2);  // alpha at least one half
    WritePicture(folder + "/in.png", linear);
    const std::string turn = " -a z -e 30 --frame 1 --range 0-1 --alpha keep -q";
    ASSERT_EQ(RunVeldra(folder, "render in.png plain.png" + turn).exitCode, 0);
    const RunResult run = RunVeldra(folder, "render in.png srgb.png --colorconvert linear sRGB" + turn);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // Straight colour under alpha of at least a half, premultiplied for the
    // turn and divided again: a step or two of rounding.
    ExpectConverted(ReadPicture(folder + "/plain.png"), ReadPicture(folder + "/srgb.png"), SrgbOf, 3, "sRGB");
}

// A studio's config, named by --colorconfig or by $OCIO, gives its own
// spaces; an unknown space is refused listing those the config knows, a
// config that cannot be read is named, and --colorconfig alone is refused.
TEST(ColourConversion, AStudioConfigByOptionOrEnvironment)
{
    const std::string folder = ScratchFolder("colour-config");
    WriteBytes(folder + "/studio.ocio", kStudioConfig);
    WritePicture(folder + "/in.png", CoordinatePicture(20, 16, 2));
    const std::string turn = " -a x -e 20 -q";
    ASSERT_EQ(RunVeldra(folder, "render in.png plain.png" + turn).exitCode, 0);
    const auto gamma = [](double v) { return std::pow(v, 1 / 2.2); };

    RunResult run = RunVeldra(folder,
                              "render in.png by-option.png --colorconvert lin gam --colorconfig studio.ocio" + turn);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ExpectConverted(ReadPicture(folder + "/plain.png"), ReadPicture(folder + "/by-option.png"), gamma, 1, "option");
    run = RunInShell(folder, "OCIO=studio.ocio \"$VELDRA\" render in.png by-env.png --colorconvert lin gam" + turn);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(folder + "/by-env.png"), FileBytes(folder + "/by-option.png"));

    run = RunVeldra(folder, "render in.png x.png --colorconvert lin sRGB --colorconfig studio.ocio");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(OneLineNaming(run,
                              "--colorconvert: no conversion from 'lin' to 'sRGB' in studio.ocio (it knows lin, "
                              "gam)"))
        << run.output;
    run = RunInShell(folder, "OCIO=missing.ocio \"$VELDRA\" render in.png x.png --colorconvert lin gam");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(OneLineNaming(run, "$OCIO (missing.ocio): not a colour config that can be read")) << run.output;
    run = RunVeldra(folder, "render in.png x.png --colorconfig studio.ocio");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(OneLineNaming(run, "--colorconfig: applies with --colorconvert FROM TO")) << run.output;
    EXPECT_FALSE(Exists(folder + "/x.png"));
}
