// Building the boot-logo database through the library and keeping an anonymous copy of it.
#include "tarnhollow/document/boot_logo_database.h"

#include <cstdlib>
#include <system_error>

#include "prc.h"
#include "tarnhollow/document/database_files.h"
#include "tarnhollow/document/install_file_layout.h"

namespace tarnhollow {

namespace fs = std::filesystem;

namespace {

constexpr size_t kCopyChunkBytes = 1024;

// A folder only this process uses, removed with everything in it when the object goes.
class PrivateFolder {
public:
    explicit PrivateFolder(const fs::path &root) {
        std::string pattern = (root / "tarnhollow-logo-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~PrivateFolder() {
        if (!m_path.empty()) {
            std::error_code ignored;
            fs::remove_all(m_path, ignored);
        }
    }
    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;

    bool made() const { return !m_path.empty(); }
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

bool WriteDatabase(const fs::path &file, std::span<const uint8_t> bitmapFile) {
    PrcHandle database(prccreate(file.c_str(), kBootLogoDatabaseName, layout::kTypeBootLogo,
                                 layout::kCreatorFlash, PRC_FLAGS_RESOURCE));
    if (!database) {
        return false;
    }
    prc_record_t *resource = prcnewresource();
    if (resource == nullptr) {
        return false;
    }
    if (prcresourceset(resource, layout::kTypeBootLogo, kBootLogoResourceId, bitmapFile.data(),
                       static_cast<uint32_t>(bitmapFile.size())) != 0 ||
        prcappendresource(database.get(), resource) == nullptr) {
        prcdestroyresource(resource);
        return false;
    }
    return prcclose(database.release()) == 0;
}

FileHandle CopyToAnonymousFile(const fs::path &file) {
    FileHandle source(std::fopen(file.c_str(), "rb"));
    FileHandle copy(std::tmpfile());
    if (!source || !copy) {
        return nullptr;
    }
    uint8_t buffer[kCopyChunkBytes];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, source.get())) > 0) {
        if (std::fwrite(buffer, 1, read, copy.get()) != read) {
            return nullptr;
        }
    }
    if (std::ferror(source.get()) || std::fflush(copy.get()) != 0) {
        return nullptr;
    }
    std::rewind(copy.get());
    return copy;
}

} // namespace

FileHandle MakeBootLogoDatabase(std::span<const uint8_t> bitmapFile,
                                const fs::path &temporaryRoot) {
    PrivateFolder folder(temporaryRoot);
    if (!folder.made() || bitmapFile.size() > PRC_MAX_DATA_SIZE) {
        return nullptr;
    }
    const fs::path file = folder.path() / kBootLogoBuildFile;
    if (!WriteDatabase(file, bitmapFile)) {
        return nullptr;
    }
    return CopyToAnonymousFile(file);
}

std::optional<std::vector<uint8_t>> BitmapInBootLogoDatabase(std::FILE *database) {
    if (database == nullptr || std::fseek(database, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    PrcHandle prc(prcfpopen(database, PRC_OPEN_READ));
    if (!prc) {
        return std::nullopt;
    }
    const prc_record_t *logo =
        prcgetresource(prc.get(), layout::kTypeBootLogo, kBootLogoResourceId);
    if (logo == nullptr || logo->data == nullptr) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(logo->data, logo->data + logo->datalen);
}

} // namespace tarnhollow
