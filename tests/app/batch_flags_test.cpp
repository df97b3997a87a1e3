// The settings flags of batch mode: parsing, ranges and messages, and each
// flag reaching its setting in the probe.
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "probe_fixture.h"
#include "app/probe.h"
#include "app/batch/settings_flags.h"
#include "app/batch/usage_docs.h"

#include "command_output.h"
#include "scratch_directory.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quillmark::batch {
namespace {

using test::ProbeFixture;

std::string ParseError(const std::vector<std::string>& arguments) {
    BatchSettings settings;
    std::string error;
    EXPECT_FALSE(ParseSettingsFlags(arguments, &settings, &error)) << arguments.front();
    return error;
}

BatchSettings Parsed(const std::vector<std::string>& arguments) {
    BatchSettings settings;
    std::string error;
    EXPECT_TRUE(ParseSettingsFlags(arguments, &settings, &error)) << error;
    return settings;
}

TEST(SettingsFlags, EachFlagSetsItsSetting) {
    const BatchSettings settings =
        Parsed({"--min-filter", "point", "--lod-bias=-2.5", "--distance", "0.5", "--object", "plane", "--angle",
                "60", "--anisotropy", "16", "--mip-filter", "off", "--tint=full"});
    ProbeSettings expected;
    expected.minFilter = D3DTEXF_POINT;
    expected.lodBiasTenths = -25;
    expected.distanceTenths = 5;
    expected.showPlane = true;
    expected.planeAngle = 60;
    expected.anisotropyStep = 4;
    expected.mipFilter = D3DTEXF_NONE;
    expected.tintMode = kTintFull;
    EXPECT_TRUE(settings.probe == expected);
    EXPECT_EQ(settings.given.at("--lod-bias"), "--lod-bias -2.5");
    EXPECT_EQ(settings.given.size(), 8u);
}

// A setting given twice is a mistake the user should hear of, not a silent
// choice of one of the two values.
TEST(SettingsFlags, ASettingGivenTwiceIsAnError) {
    EXPECT_EQ(ParseError({"--angle", "10", "--angle=20"}),
              "--angle: given twice (--angle 10, then --angle 20); give each setting once");
    EXPECT_EQ(Parsed({"--device", "reference", "--device", "model"}).devices.size(), 2u);
}

TEST(SettingsFlags, OtherArgumentsAreLeftForTheCommand) {
    const BatchSettings settings = Parsed({"-o", "frame.bmp", "--stage", "2", "--json", "--device", "reference"});
    EXPECT_EQ(settings.rest, (std::vector<std::string>{"-o", "frame.bmp", "--json"}));
    EXPECT_EQ(settings.device, "reference");
    EXPECT_FALSE(settings.help);
    EXPECT_TRUE(Parsed({"--faces", "3", "-h"}).help);
}

TEST(SettingsFlags, OutOfRangeAndUnknownValuesAreErrorsNamingTheFlag) {
    const std::vector<std::vector<std::string>> bad = {
        {"--min-filter", "cubic"},   {"--mag-filter", "POINT"},  {"--mip-filter", "anisotropic"},
        {"--anisotropy", "3"},       {"--anisotropy", "32"},     {"--anisotropy", "0"},
        {"--lod-bias", "8.1"},       {"--lod-bias", "0.25"},     {"--lod-bias", "-9"},
        {"--lod-bias", "nan"},       {"--stage", "8"},           {"--stage", "-1"},
        {"--stage", "1.5"},          {"--object", "sphere"},     {"--distance", "0.4"},
        {"--distance", "30.1"},      {"--distance", "2.05"},     {"--angle", "90"},
        {"--angle", "-1"},           {"--faces", "2"},           {"--faces", "201"},
        {"--scene-rotation", "90"},  {"--texture-rotation", "x"}, {"--checker", "9"},
        {"--checker", "-9"},         {"--tint", "red"},          {"--faces", ""},
        {"--angle", "45degrees"},
    };
    for (const auto& arguments : bad) {
        const std::string error = ParseError(arguments);
        EXPECT_EQ(error.rfind(arguments[0] + " " + arguments[1] + ": expected", 0), 0u) << error;
    }
    EXPECT_EQ(ParseError({"--faces"}), "--faces: needs a value, 3..200");
}

TEST(SettingsFlags, HelpListsEveryFlagWithRangeAndDefault) {
    const std::string help = SettingsFlagsHelp();
    for (const char* flag : {"--min-filter point|linear|anisotropic", "--mag-filter", "--mip-filter off|point|linear",
                             "--anisotropy 1|2|4|8|16", "--lod-bias -8.0..8.0", "--stage 0..7", "--object plane|tunnel",
                             "--distance 0.5..30.0", "--angle 0..89", "--faces 3..200", "--scene-rotation 0..89",
                             "--texture-rotation 0..89", "--checker -8..8", "--tint normal|tinted|full",
                             "--texture FILE", "--device NAME"})
        EXPECT_NE(help.find(flag), std::string::npos) << flag;
    EXPECT_NE(help.find("(default: 200)"), std::string::npos);
    EXPECT_NE(help.find("\"Browse...\" loads it"), std::string::npos);
    const std::string usage = BatchUsage();
    EXPECT_NE(usage.find("render [settings] -o FILE"), std::string::npos);
    EXPECT_NE(usage.find(help), std::string::npos);
}

TEST(CommandTable, FindsCommandsByName) {
    ASSERT_NE(FindBatchCommand("render"), nullptr);
    EXPECT_EQ(FindBatchCommand("render")->name, "render");
    EXPECT_EQ(FindBatchCommand("draw"), nullptr);
    for (const BatchCommand* command : BatchCommands()) EXPECT_EQ(FindBatchCommand(command->name), command);
}

TEST(CommandTable, OptionValuesAreTakenInEitherSpelling) {
    const CommandOption declared[] = {{"-o", "--output", "DIR", "where"}, kJsonOption};
    CommandOptions options;
    std::string error;
    ASSERT_TRUE(ParseCommandOptions(declared, {"--json", "--output=b"}, &options, &error)) << error;
    EXPECT_EQ(options.Value("--output"), "b");
    EXPECT_TRUE(options.Has("--json"));
    CommandOptions shortly;
    ASSERT_TRUE(ParseCommandOptions(declared, {"-o", "a"}, &shortly, &error)) << error;
    EXPECT_EQ(shortly.Value("--output"), "a");
    EXPECT_FALSE(shortly.Has("--json"));
}

// Each mistake is one sentence naming the argument at fault.
TEST(CommandTable, MistakesInOptionsAreOneSentenceEach) {
    const CommandOption declared[] = {{"-o", "--output", "DIR", "where"}, kJsonOption};
    const auto error = [&](const std::vector<std::string>& arguments) {
        CommandOptions options;
        std::string message;
        EXPECT_FALSE(ParseCommandOptions(declared, arguments, &options, &message));
        return message;
    };
    EXPECT_EQ(error({"x", "-o", "a"}), "unknown option 'x': neither a setting nor an option of this command (see --help)");
    EXPECT_EQ(error({"--bogus"}), "unknown option '--bogus': neither a setting nor an option of this command (see --help)");
    EXPECT_EQ(error({"--json", "-o"}), "-o: needs a value");
    EXPECT_EQ(error({"-o", "a", "--output=b"}), "--output: given twice (-o a, then --output b); give it once");
    EXPECT_EQ(error({"--json", "--json"}), "--json: given twice (--json, then --json); give it once");
    EXPECT_EQ(error({"--json=yes"}), "--json: takes no value");
}

// The lines of --help are made from the declarations: an option's help
// continues under itself, and the manual page and the completion name every
// option of every command.
TEST(CommandTable, HelpManualPageAndCompletionComeFromTheDeclarations) {
    for (const BatchCommand* command : BatchCommands()) {
        const std::string help = OptionsHelp(*command);
        const std::string usage = CommandUsage(command->name);
        EXPECT_NE(usage.find(help), std::string::npos) << command->name;
        for (const CommandOption& option : command->options) {
            EXPECT_NE(help.find("      " + std::string(option.shortName.empty() ? option.name : option.shortName)),
                      std::string::npos)
                << option.name;
            EXPECT_NE(BashCompletion().find(std::string(option.name)), std::string::npos) << option.name;
            std::string roff;  // as the manual page writes it: each hyphen escaped
            for (char c : option.name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
            EXPECT_NE(ManualPage().find(roff), std::string::npos) << option.name;
        }
    }
}

// An option declared to take several values takes the arguments after it up
// to the next option; --help shows it as "NAME VALUE...", and the completion
// offers folders for each of its values, not only the first.
TEST(CommandTable, AnOptionOfSeveralValuesTakesThemUpToTheNextOption) {
    const CommandOption declared[] = {{"-o", "--output", "DIR", "where"},
                                      {.shortName = "", .name = "--merge", .argument = "DIR", .help = "folders", .severalValues = true}};
    CommandOptions options;
    std::string error;
    ASSERT_TRUE(ParseCommandOptions(declared, {"--merge", "a", "b", "c", "-o", "out"}, &options, &error)) << error;
    EXPECT_EQ(options.Values("--merge"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(options.Value("--merge"), "a");
    EXPECT_EQ(options.Values("--output"), (std::vector<std::string>{"out"}));
    EXPECT_TRUE(options.Values("--json").empty());
    CommandOptions spelled;
    ASSERT_TRUE(ParseCommandOptions(declared, {"--merge=a", "b"}, &spelled, &error)) << error;
    EXPECT_EQ(spelled.Values("--merge"), (std::vector<std::string>{"a", "b"}));

    const auto refusal = [&](const std::vector<std::string>& arguments) {
        CommandOptions refused;
        std::string message;
        EXPECT_FALSE(ParseCommandOptions(declared, arguments, &refused, &message));
        return message;
    };
    EXPECT_EQ(refusal({"--merge"}), "--merge: needs a value");
    EXPECT_EQ(refusal({"--merge", "a", "b", "--merge", "c"}),
              "--merge: given twice (--merge a b, then --merge c); give it once");

    const BatchCommand* gallery = FindBatchCommand("gallery");
    ASSERT_NE(gallery, nullptr);
    EXPECT_NE(OptionsHelp(*gallery).find("      --merge DIR...  "), std::string::npos) << OptionsHelp(*gallery);

    // The completion run by bash: after "--merge one" it still offers folders.
    testing::ScratchDirectory scratch;
    std::filesystem::create_directories(scratch / "results-gpu");
    std::filesystem::create_directories(scratch / "results-cpu");
    std::ofstream(scratch / "completion.bash") << BashCompletion();
    const std::string script = "cd '" + scratch.PathOf("") + "' && . ./completion.bash && "
                               "COMP_WORDS=(quillmark gallery --merge results-gpu results-) COMP_CWORD=4 && _quillmark && "
                               "echo \"${COMPREPLY[*]}\"";
    std::ofstream(scratch / "complete.bash") << script;
    const std::string offered = testing::CommandOutput("/bin/bash '" + scratch.PathOf("complete.bash") + "'");
    EXPECT_NE(offered.find("results-cpu"), std::string::npos) << offered;
    EXPECT_NE(offered.find("results-gpu"), std::string::npos) << offered;
}

class AppliedFlags : public ProbeFixture {
protected:
    void Apply(const std::vector<std::string>& arguments) {
        ApplyProbeSettings(Parsed(arguments).probe);
    }
};

TEST_F(AppliedFlags, EveryFlagReachesItsSetting) {
    const struct {
        std::vector<std::string> arguments;
        std::function<bool()> reached;
    } cases[] = {
        {{"--min-filter", "linear"}, [] { return ActiveProbe().settings.minFilter == D3DTEXF_LINEAR; }},
        {{"--mag-filter", "point"}, [] { return ActiveProbe().settings.magFilter == D3DTEXF_POINT; }},
        {{"--mip-filter", "off"}, [] { return ActiveProbe().settings.mipFilter == D3DTEXF_NONE; }},
        {{"--anisotropy", "8"}, [] { return ActiveProbe().settings.maxAnisotropy == 8; }},
        {{"--lod-bias", "-2.5"}, [] { return ActiveProbe().settings.lodBias == -2.5f; }},
        {{"--stage", "5"}, [] { return ActiveProbe().settings.stage == 5; }},
        {{"--object", "plane"}, [] { return ActiveProbe().settings.showPlane; }},
        {{"--distance", "3.5"}, [] { return ActiveProbe().settings.distance == 35.0; }},
        {{"--angle", "60"}, [] { return ActiveProbe().settings.planeAngle == 60.0; }},
        {{"--faces", "7"}, [] { return ActiveProbe().settings.faces == 7; }},
        {{"--scene-rotation", "30"}, [] { return ActiveProbe().settings.sceneRotation == 30.0f; }},
        {{"--texture-rotation", "89"}, [] { return ActiveProbe().settings.textureRotation == 89.0f; }},
        {{"--checker", "-3"}, [] { return ActiveProbe().settings.checkerShift == -3; }},
        {{"--tint", "normal"}, [] { return ActiveProbe().settings.tintMode == 0; }},
        {{"--object", "tunnel"}, [] { return !ActiveProbe().settings.showPlane; }},
        {{"--min-filter", "anisotropic"}, [] { return ActiveProbe().settings.minFilter == D3DTEXF_ANISOTROPIC; }},
    };
    for (const auto& c : cases) {
        Apply(c.arguments);
        EXPECT_TRUE(c.reached()) << c.arguments[0] << " " << c.arguments[1];
    }
}

// What the report shows as the settings is read back from the probe: every
// value given reads back as it was written, and the flags not given read as
// their documented defaults.
TEST_F(AppliedFlags, CurrentValuesReadBackAsGiven) {
    const std::vector<std::pair<std::string, std::string>> given = {
        {"--min-filter", "point"}, {"--mip-filter", "off"}, {"--anisotropy", "16"}, {"--lod-bias", "-2.5"},
        {"--object", "plane"},     {"--distance", "0.5"},   {"--angle", "70"},       {"--tint", "full"},
        {"--checker", "-3"},       {"--texture-rotation", "45"}};
    std::vector<std::string> arguments;
    for (const auto& [flag, value] : given) arguments.insert(arguments.end(), {flag, value});
    Apply(arguments);
    std::map<std::string, std::string> expected;
    for (const SettingsFlagDoc& doc : SettingsFlagDocs()) expected[doc.name] = doc.defaultValue;
    for (const auto& [flag, value] : given) expected[flag] = value;
    expected["--device"] = "reference";
    const auto current = SettingValues(CurrentProbeSettings());
    ASSERT_EQ(current.size(), expected.size());
    for (const auto& [flag, value] : current) EXPECT_EQ(value, expected[flag]) << flag;
}

TEST(SettingsFlags, ValuesBeyondTheDevicesReachAreErrors) {
    const DeviceLimits limits{3, 3};  // a device with 8x and four stages at most
    EXPECT_EQ(DeviceRangeError(Parsed({"--anisotropy", "16"}), limits), "--anisotropy 16: this device allows 1..8");
    EXPECT_EQ(DeviceRangeError(Parsed({"--stage", "4"}), limits), "--stage 4: this device allows 0..3");
    EXPECT_EQ(DeviceRangeError(Parsed({"--stage", "3", "--anisotropy", "8"}), limits), "");
}

}  // namespace
}  // namespace quillmark::batch
