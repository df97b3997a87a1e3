#include "app/batch/usage_docs.h"

#include "app/batch/batch_command.h"
#include "app/batch/settings_flags.h"

#include <algorithm>
#include <sstream>

namespace quillmark::batch {
namespace {

constexpr const char* kDescription =
    "Quillmark shows and measures how a graphics device filters textures. An 800 \\(mu 600 window draws a "
    "tilted plane or a tunnel textured with a generated checkerboard whose ten mip levels are tinted in "
    "distinct colours, under the sampler settings picked in a \\(lqSettings\\(rq dialog. The texel analysis "
    "renders the scene again and again with only a few texels marked, reads every frame back and attributes "
    "each coloured pixel to its texel, level by level; it ends with a heat map of hits per pixel and a polar "
    "plot of the mip bands.\n.PP\nWithout arguments, quillmark is the interactive program and needs a "
    "display. With a command it runs headless: the settings flags operate the controls of the Settings "
    "dialog as a user would, and the command draws, measures and writes files.\n";

constexpr const char* kTrailer =
    ".SH ENVIRONMENT\n.TP\n.B QUILLMARK_DEVICE\nThe Direct3D device (as \\-\\-device; \\fBreference\\fR, the "
    "built\\-in software device, when unset).\n"
    ".TP\n.B QUILLMARK_CPU\n\\fBscalar\\fR, \\fBsse2\\fR or \\fBavx2\\fR: the widest vector instructions the "
    "program may use (all the processor has when unset); every choice gives the same pictures and numbers.\n"
    ".SH EXIT STATUS\n0 on success, 1 when the work failed, 2 for a bad command line (an unknown device "
    "included), 128 plus the signal when an analysis was stopped by it: 130 for Ctrl\\-C, 143 for SIGTERM, "
    "129 for SIGHUP.\n"
    ".SH FILES\n.TP\n.I MipBand.bmp\nThe polar plot of an analysis, coloured by mip level: each column is a "
    "direction from the screen centre, each row a distance from it, and the centre lies on the bottom row.\n.TP\n.I heatmap.bmp\nHits per pixel of an analysis, red for none "
    "to green for the most.\n.TP\n.I report.html\nThe settings, figures, per\\-level results and both images "
    "of an analysis on one page.\n"
    ".TP\n.I docs/NAME.md\nThe documents the commands' help names, installed with README.md under "
    "share/doc/quillmark in the installation prefix: /usr/local/share/doc/quillmark/docs/level\\-of\\-detail.md "
    "by default.\n"
    ".SH EXAMPLES\n.nf\nquillmark analyze \\-o out\nquillmark analyze \\-\\-anisotropy 16 \\-\\-angle 70 "
    "\\-\\-object plane \\-\\-json \\-o aniso16\nquillmark render \\-\\-tint full \\-o tunnel.bmp\n.fi\n";

// Text for roff: backslashes and hyphens escaped, no line starting with a
// control character.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
        lineStart = c == '\n';
    }
    return out;
}

// The lines without the indentation they all share.
std::string Dedented(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t indent = std::string::npos;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(' ') != std::string::npos) indent = std::min(indent, line.find_first_not_of(' '));
        lines.push_back(line);
    }
    std::string out;
    for (const std::string& line : lines) out += (line.size() > indent ? line.substr(indent) : std::string()) + "\n";
    return out;
}

std::string Joined(const std::vector<std::string>& words, const char* separator) {
    std::string out;
    for (const std::string& word : words) out += (out.empty() ? "" : separator) + word;
    return out;
}

std::string CommandsSection() {
    std::string page = ".SH COMMANDS\n";
    for (const BatchCommand* command : BatchCommands()) {
        page += ".TP\n\\fB" + Roff(std::string(command->name)) + "\\fR " + Roff(std::string(command->synopsis)) +
                "\n" + Roff(std::string(command->summary)) + ".\n";
        const std::string options = Dedented(OptionsHelp(*command));
        if (!options.empty()) page += ".RS\n.nf\n" + Roff(options) + ".fi\n.RE\n";
    }
    return page;
}

std::string SettingsSection() {
    std::string page =
        ".SH SETTINGS\nEach flag sets one control of the Settings dialog, as \\fB\\-\\-flag\\fR \\fIVALUE\\fR "
        "or \\fB\\-\\-flag\\fR=\\fIVALUE\\fR, before the command runs.\n";
    for (const SettingsFlagDoc& flag : SettingsFlagDocs()) {
        page += ".TP\n\\fB" + Roff(flag.name) + "\\fR \\fI" + Roff(flag.values) + "\\fR\n" + Roff(flag.meaning) +
                " (default: " + Roff(flag.defaultValue) + ").";
        if (!flag.choices.empty() && flag.name == "--device") page += " Known devices: " + Roff(Joined(flag.choices, ", ")) + ".";
        page += "\n";
    }
    return page;
}

// The words of a shell `case` pattern: a|b|c.
std::string CasePattern(const std::vector<std::string>& names) { return Joined(names, "|"); }

std::string CompletionForValue(const std::vector<std::string>& choices, bool file, bool directory) {
    if (directory) return "COMPREPLY=($(compgen -d -- \"$cur\")); return ;;";
    if (file) return "COMPREPLY=($(compgen -f -- \"$cur\")); return ;;";
    if (choices.empty()) return "return ;;";  // a number: nothing to offer
    return "COMPREPLY=($(compgen -W \"" + Joined(choices, " ") + "\" -- \"$cur\")); return ;;";
}

}  // namespace

std::string ManualPage() {
    return ".TH QUILLMARK 1 \"\" \"Quillmark\" \"User Commands\"\n.SH NAME\nquillmark \\- show and measure how a "
           "graphics device filters textures\n.SH SYNOPSIS\n.B quillmark\n.br\n.B quillmark\n.I COMMAND\n"
           "[\\fIsettings\\fR] [\\fIoptions\\fR]\n.br\n.B quillmark\n[\\fICOMMAND\\fR] \\fB\\-\\-help\\fR\n.br\n"
           ".B quillmark help\n[\\fICOMMAND\\fR]\n.br\n.B quillmark \\-\\-version\n"
           ".SH DESCRIPTION\n" +
           std::string(kDescription) + CommandsSection() + SettingsSection() + kTrailer;
}

std::string BashCompletion() {
    std::vector<std::string> commands, flags;
    for (const BatchCommand* command : BatchCommands()) commands.emplace_back(command->name);
    for (const SettingsFlagDoc& flag : SettingsFlagDocs()) flags.push_back(flag.name);
    std::string script =
        "# bash completion for quillmark: its commands, settings flags, options and their values.\n"
        "_quillmark() {\n"
        "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        "    if ((COMP_CWORD == 1)); then\n"
        "        COMPREPLY=($(compgen -W \"" + Joined(commands, " ") + " help --help --version\" -- \"$cur\"))\n"
        "        return\n"
        "    fi\n"
        "    if [[ \"${COMP_WORDS[1]}\" == help ]]; then\n"
        "        ((COMP_CWORD == 2)) && COMPREPLY=($(compgen -W \"" + Joined(commands, " ") + "\" -- \"$cur\"))\n"
        "        return\n"
        "    fi\n"
        "    local options=\"\" flags=\"" + Joined(flags, " ") + "\"\n"
        "    case \"${COMP_WORDS[1]}\" in\n";
    // A command's own options first: a command on files takes no settings
    // flags, and its options may share their names with them.
    for (const BatchCommand* command : BatchCommands()) {
        std::vector<std::string> names;
        std::string valueCases, severalCases;
        for (const CommandOption& option : command->options) {
            std::vector<std::string> spellings;
            if (!option.shortName.empty()) spellings.emplace_back(option.shortName);
            spellings.emplace_back(option.name);
            names.insert(names.end(), spellings.begin(), spellings.end());
            if (option.argument.empty() || option.settingsFlag) continue;
            const std::vector<std::string> choices(option.choices.begin(), option.choices.end());
            const std::string completion = "            " + CasePattern(spellings) + ") " +
                                           CompletionForValue(choices, option.argument == "FILE",
                                                              option.argument == "DIR") +
                                           "\n";
            valueCases += completion;
            if (option.severalValues) severalCases += completion;
        }
        script += "    " + std::string(command->name) + ")\n";
        if (!valueCases.empty()) script += "        case \"$prev\" in\n" + valueCases + "        esac\n";
        // An option that takes several values: the words back to the last option.
        if (!severalCases.empty())
            script += "        local at=$((COMP_CWORD-1))\n"
                      "        while ((at > 1)) && [[ \"${COMP_WORDS[at]}\" != -* ]]; do ((at--)); done\n"
                      "        [[ \"$cur\" != -* ]] && case \"${COMP_WORDS[at]}\" in\n" +
                      severalCases + "        esac\n";
        script += "        options=\"" + Joined(names, " ") + "\"";
        // A command on files completes its operands as file names.
        if (command->runOnFiles)
            script += "; flags=\"\"\n        [[ \"$cur\" != -* ]] && { COMPREPLY=($(compgen -f -- \"$cur\")); return; }";
        script += " ;;\n";
    }
    script += "    esac\n"
              "    if [[ -n \"$flags\" ]]; then\n"
              "        case \"$prev\" in\n";
    for (const SettingsFlagDoc& flag : SettingsFlagDocs())
        script += "        " + flag.name + ") " + CompletionForValue(flag.choices, flag.takesFile, false) + "\n";
    script += "        esac\n"
              "    fi\n"
              "    COMPREPLY=($(compgen -W \"$flags $options --help\" -- \"$cur\"))\n"
              "}\n"
              "complete -F _quillmark quillmark\n";
    return script;
}

}  // namespace quillmark::batch
