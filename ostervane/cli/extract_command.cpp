// ostervane-cli extract FILE DIR [--name GLOB]... [--type T] [--creator C] [--force]: writes
// the chosen databases of a ROM image into DIR as .prc and .pdb files.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ostervane/cli/commands.h"
#include "ostervane/cli/rom_file.h"
#include "ostervane/core/rom_extract.h"
#include "ostervane/core/rom_text.h"

namespace ostervane::cli {
namespace {

struct ExtractOptions {
    std::string file;
    std::string directory;
    RomDatabaseChoice choice;
    bool force = false;
};

// A four-character code typed on the command line: exactly four bytes.
std::optional<uint32_t> CodeArgument(const std::string &text) {
    if (text.size() != 4) {
        return std::nullopt;
    }
    uint32_t code = 0;
    for (char c : text) {
        code = code << 8 | uint8_t(c);
    }
    return code;
}

// Parses the arguments; a usage problem in `problem` otherwise.
std::optional<ExtractOptions> ParseArguments(const Arguments &args, std::string &problem) {
    ExtractOptions options;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &arg = args[i];
        const bool takesValue = arg == "--name" || arg == "--type" || arg == "--creator";
        if (takesValue && i + 1 == args.size()) {
            problem = "extract: " + arg + " needs a value";
            return std::nullopt;
        }
        if (arg == "--name") {
            options.choice.nameGlobs.push_back(args[++i]);
        } else if (arg == "--type" || arg == "--creator") {
            std::optional<uint32_t> code = CodeArgument(args[++i]);
            if (!code) {
                problem = "extract: " + arg + " takes four characters";
                return std::nullopt;
            }
            (arg == "--type" ? options.choice.type : options.choice.creator) = code;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            problem = "extract: unknown option \"" + arg + "\"";
            return std::nullopt;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) {
        problem = "extract takes a FILE and a DIR";
        return std::nullopt;
    }
    options.file = positional[0];
    options.directory = positional[1];
    return options;
}

std::string DatabaseLabel(const RomDatabase &database) {
    return std::string(PartName(database.part)) + ", database " + std::to_string(database.index) +
           " '" + ShownPalmText(database.name) + "'";
}

// Writes the chosen databases; returns how many were chosen and written.
std::pair<size_t, size_t> ExtractChosen(const RomImage &image, const ExtractOptions &options) {
    std::set<std::string> taken;
    size_t chosen = 0, written = 0;
    for (const RomDatabase *database : image.Databases()) {
        if (!options.choice.Takes(*database)) {
            continue;
        }
        chosen++;
        const std::string name = UniqueFileName(RomDatabaseFileName(*database), taken);
        const std::string path = (std::filesystem::path(options.directory) / name).string();
        RomExtractOutcome outcome = ExtractRomDatabase(image, *database, path, options.force);
        for (const std::string &loss : outcome.losses) {
            std::fprintf(stderr, "ostervane-cli: %s: %s\n", name.c_str(), loss.c_str());
        }
        if (outcome.state == RomExtractState::Written) {
            std::printf("%s\n", name.c_str());
            written++;
        } else {
            std::fprintf(stderr, "ostervane-cli: %s not extracted as %s: %s%s\n",
                         DatabaseLabel(*database).c_str(), name.c_str(), outcome.message.c_str(),
                         outcome.state == RomExtractState::Exists ? " (--force replaces it)" : "");
        }
    }
    return {chosen, written};
}

} // namespace

int RunExtractCommand(const Arguments &args) {
    for (const std::string &arg : args) {
        if (arg == "-h" || arg == "--help") {
            return Usage();
        }
    }
    std::string problem;
    std::optional<ExtractOptions> options = ParseArguments(args, problem);
    if (!options) {
        return Usage(problem);
    }
    std::string why;
    std::optional<std::vector<uint8_t>> bytes = ReadRomFile(options->file, why);
    if (!bytes) {
        std::fprintf(stderr, "ostervane-cli: cannot read %s: %s\n", options->file.c_str(),
                     why.c_str());
        return kExitJobFailed;
    }
    const RomImage image = ReadRomImage(*bytes);
    for (const std::string &found : image.problems) {
        std::fprintf(stderr, "ostervane-cli: %s: %s\n", options->file.c_str(), found.c_str());
    }
    std::error_code error;
    std::filesystem::create_directories(options->directory, error);
    if (error) {
        std::fprintf(stderr, "ostervane-cli: cannot make %s: %s\n", options->directory.c_str(),
                     error.message().c_str());
        return kExitJobFailed;
    }
    auto [chosen, written] = ExtractChosen(image, *options);
    std::printf("Extracted %zu database%s into %s", written, written == 1 ? "" : "s",
                options->directory.c_str());
    if (chosen > written) {
        std::printf("; %zu not extracted", chosen - written);
    }
    std::printf("\n");
    if (chosen == 0) {
        std::fprintf(stderr, "ostervane-cli: no database in %s was chosen\n",
                     options->file.c_str());
    }
    return chosen > 0 && written == chosen ? kExitSuccess : kExitJobFailed;
}

} // namespace ostervane::cli
