// Reading a ROM image file whole, and JSON strings for the commands that print one.
#include "ostervane/cli/rom_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace ostervane::cli {
namespace {

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

} // namespace

std::optional<std::vector<uint8_t>> ReadRomFile(const std::string &path, std::string &why) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        const long size = std::ftell(file.get());
        std::rewind(file.get());
        bytes.resize(size > 0 ? size_t(size) : 0);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    }
    uint8_t piece[4096];
    for (size_t count; (count = std::fread(piece, 1, sizeof piece, file.get())) > 0;) {
        bytes.insert(bytes.end(), piece, piece + count); // the file grew, or cannot seek
    }
    if (std::ferror(file.get())) {
        why = "read error";
        return std::nullopt;
    }
    return bytes;
}

std::string JsonText(const std::string &utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (uint8_t(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(uint8_t(c)));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace ostervane::cli
