// Opening a flash install file into the document: the configuration resources, and every
// chunk group reassembled into a temporary file and recognised as the Data, Remove or
// boot-logo database or as one of the source databases the Data database lists.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "tarnhollow/document/chunking.h"
#include "tarnhollow/document/database_files.h"
#include "tarnhollow/document/document_messages.h"
#include "tarnhollow/document/file_exception.h"
#include "tarnhollow/document/install_file_layout.h"
#include "tarnhollow/document/stream_files.h"
#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow {

namespace fs = std::filesystem;

namespace {

class InstallFileReader {
public:
    InstallFileReader(CTarnhollowDoc &doc, MessageBoxes &boxes) : m_doc(doc), m_boxes(boxes) {}

    // False when the path is a Palm database but not an install file.
    bool Read(const fs::path &path);
    void TidyLists();

private:
    void ResetForOpen();
    void ReadConfiguration(prc_t *package);
    void ReadPreinstall(const ChunkIndex &chunks);
    void AnalyseGroup(FileHandle stream);
    void ReadDataDatabase(const prc_t *data);
    void ReadRemoveDatabase(const prc_t *remove);
    void MatchSourceDatabase(const prc_t *database, FileHandle stream);
    void RestoreLaunchChoice(const PackageEntry &entry, const char *failureText);

    CTarnhollowDoc &m_doc;
    MessageBoxes &m_boxes;
};

// The decimal number at the start of the text, read as atoi reads it, clamped to 32 bits.
int32_t LeadingNumber(const std::string &text) {
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

PackageEntry EntryFromDataRecord(const prc_record_t *record) {
    PackageEntry entry;
    const uint32_t size = record->data == nullptr ? 0 : record->datalen;
    std::copy_n(record->data, std::min<size_t>(size, entry.name.size()), entry.name.begin());
    if (size > 32) {
        entry.flags = record->data[32];
    }
    if (size > 33) {
        entry.location = record->data[33];
    }
    return entry;
}

PackageEntry *FindNamed(std::vector<PackageEntry> &list, const std::string &name) {
    auto found = std::find_if(list.begin(), list.end(),
                              [&name](const PackageEntry &entry) { return entry.Name() == name; });
    return found == list.end() ? nullptr : &*found;
}

// Puts back the type and creator words the save complemented, in the stream itself.
void RestoreInvertedHeader(std::FILE *stream) {
    uint8_t header[layout::kRestoredHeaderBytes];
    RewindStream(stream);
    if (std::fread(header, 1, sizeof header, stream) != sizeof header) {
        throw FileException(FileException::Cause::ReadFault, {}, "database header cut short");
    }
    InvertTypeAndCreator(header);
    RewindStream(stream);
    if (std::fwrite(header, 1, sizeof header, stream) != sizeof header ||
        std::fflush(stream) != 0) {
        throw FileException(FileException::Cause::WriteFault, {}, "cannot restore header");
    }
    RewindStream(stream);
}

void InstallFileReader::ResetForOpen() {
    m_doc.m_openedFromFile = true;
    m_doc.m_createUninstaller = false;
    m_doc.m_eraseExpansionRom = false;
    m_doc.m_launchAfterReset.clear();
    m_doc.m_ramList.clear(); // closes every entry's file
    m_doc.m_romList.clear();
    m_doc.m_deviceIds.clear();
    m_doc.m_removeList.clear();
}

void InstallFileReader::ReadConfiguration(prc_t *package) {
    if (const prc_record_t *name =
            prcgetresource(package, layout::kResLauncherName, layout::kConfigId)) {
        m_doc.m_packageName = TextOf(name);
    }
    for (uint32_t id = layout::kConfigId; id <= layout::kLastResourceId; ++id) {
        const prc_record_t *device =
            prcgetresource(package, layout::kResDevice, static_cast<uint16_t>(id));
        if (device == nullptr) {
            break;
        }
        m_doc.m_deviceIds.push_back(TextOf(device));
    }
    if (const prc_record_t *rom =
            prcgetresource(package, layout::kResExpansionRom, layout::kConfigId)) {
        m_doc.m_expansionRomKB = LeadingNumber(TextOf(rom));
    }
}

void InstallFileReader::ReadPreinstall(const ChunkIndex &chunks) {
    try {
        FileHandle group =
            ReassembleChunkGroup(chunks, layout::kPreinstallBase, layout::kMaxPreinstallChunks);
        if (!group) {
            return;
        }
        const prc_record_t *first = chunks.Find(layout::kPreinstallBase);
        const char *name = reinterpret_cast<const char *>(first->data);
        m_doc.m_hasPreinstall = true;
        m_doc.m_preinstallName =
            name == nullptr
                ? std::string()
                : std::string(name, strnlen(name, std::min<size_t>(first->datalen,
                                                                   layout::kDatabaseNameBytes)));
        m_doc.m_preinstallFile = std::move(group);
    } catch (const FileException &) {
        m_boxes.Show(kPreinstallFailedText);
    }
}

void InstallFileReader::ReadDataDatabase(const prc_t *data) {
    m_doc.m_eraseExpansionRom = false;
    m_doc.m_autoInstall = false;
    if (data->appinfosize > 0) {
        m_doc.m_eraseExpansionRom = (data->appinfo[0] & layout::kEraseBit) != 0;
        m_doc.m_autoInstall = (data->appinfo[0] & layout::kAutoInstallBit) != 0;
    }
    for (const prc_record_t *record = data->records; record != nullptr; record = record->next) {
        PackageEntry entry = EntryFromDataRecord(record);
        auto &list = (entry.flags & kFlagRamList) != 0 ? m_doc.m_ramList : m_doc.m_romList;
        list.push_back(std::move(entry));
    }
}

void InstallFileReader::ReadRemoveDatabase(const prc_t *remove) {
    if (remove->appinfosize > 0) {
        m_doc.m_installStubs = (remove->appinfo[0] & layout::kStubsBit) != 0;
        // A saved empty language code is a NUL byte; it comes back empty.
        const char language = remove->appinfosize > 1 ? static_cast<char>(remove->appinfo[1]) : 0;
        m_doc.m_languageCode = language == 0 ? std::string() : std::string(1, language);
    }
    for (const prc_record_t *record = remove->records; record != nullptr; record = record->next) {
        m_doc.m_removeList.push_back(TextOf(record));
    }
}

void InstallFileReader::RestoreLaunchChoice(const PackageEntry &entry, const char *failureText) {
    try {
        if ((entry.flags & kFlagLaunch) != 0) {
            m_doc.m_launchAfterReset = entry.Name();
            m_doc.m_launchSet = true;
        }
    } catch (const std::exception &) {
        m_boxes.Show(failureText);
    }
    if (m_doc.m_launchAfterReset.empty()) {
        m_doc.m_launchAfterReset = "None";
        m_doc.m_launchSet = true;
    }
}

void InstallFileReader::MatchSourceDatabase(const prc_t *database, FileHandle stream) {
    const std::string name(database->name, strnlen(database->name, sizeof database->name));
    PackageEntry *entry = FindNamed(m_doc.m_ramList, name);
    const bool inRamList = entry != nullptr;
    if (!inRamList) {
        entry = FindNamed(m_doc.m_romList, name);
    }
    if (entry == nullptr) {
        return; // a component group, or a database no entry names: its file goes away
    }
    entry->file = std::move(stream);
    const std::optional<int64_t> bytes = StreamSize(entry->file.get());
    if (!bytes) {
        return;
    }
    const int32_t size = static_cast<int32_t>(std::min<int64_t>(*bytes, INT32_MAX));
    uint32_t type = database->type;
    uint32_t creator = database->creator;
    if (inRamList) {
        RestoreLaunchChoice(*entry, kLaunchFlagRamText);
        if ((entry->flags & kFlagRamList) != 0) {
            m_doc.m_ramBytes += size;
            m_doc.m_ramBackupBytes += size;
        }
    } else {
        RestoreLaunchChoice(*entry, kLaunchFlagRomText);
        if ((entry->flags & kFlagInverted) != 0) {
            RestoreInvertedHeader(entry->file.get());
            type = ~type;
            creator = ~creator;
        } else {
            entry->flags |= kFlagInverted;
        }
        m_doc.m_romBytes += size;
    }
    entry->size = size;
    entry->type = type;
    entry->creator = creator;
    entry->headerWord = database->version;
}

void InstallFileReader::AnalyseGroup(FileHandle stream) {
    RewindStream(stream.get());
    PrcHandle database(prcfpopen(stream.get(), PRC_OPEN_READ));
    if (!database) {
        return; // not a database: skipped, its temporary file goes away
    }
    if (database->creator == layout::kCreatorFlash && database->type == layout::kTypeData) {
        ReadDataDatabase(database.get());
    } else if (database->creator == layout::kCreatorFlash &&
               database->type == layout::kTypeRemove) {
        ReadRemoveDatabase(database.get());
    } else if (database->creator == layout::kCreatorFlash &&
               database->type == layout::kTypeBootLogo) {
        RewindStream(stream.get());
        m_doc.m_bootLogoFile = std::move(stream);
    } else {
        MatchSourceDatabase(database.get(), std::move(stream));
    }
}

bool InstallFileReader::Read(const fs::path &path) {
    ResetForOpen();
    PrcHandle package(prcopen(path.c_str(), PRC_OPEN_READ));
    if (!package) {
        return true; // not a Palm database at all: an empty document
    }
    if (package->creator != layout::kCreatorPackage || package->type != layout::kTypeApplication) {
        m_boxes.Show(kNotInstallFileText, BoxIcon::Warning);
        return false;
    }
    ReadConfiguration(package.get());
    const ChunkIndex chunks(package.get());
    ReadPreinstall(chunks);
    for (uint32_t base = layout::kFirstGroupBase; base <= layout::kLastResourceId;
         base += layout::kGroupStride) {
        FileHandle group = ReassembleChunkGroup(chunks, base, layout::kMaxGroupChunks);
        if (!group) {
            break;
        }
        AnalyseGroup(std::move(group));
    }
    return true;
}

// Checked RAM entries and expansion-ROM entries whose database was not in the package go;
// unchecked RAM entries never carry one and stay.
void InstallFileReader::TidyLists() {
    std::erase_if(m_doc.m_ramList, [](const PackageEntry &entry) {
        return (entry.flags & kFlagChecked) != 0 && !entry.file;
    });
    std::erase_if(m_doc.m_romList, [](const PackageEntry &entry) { return !entry.file; });
}

} // namespace

bool CTarnhollowDoc::OnOpenDocument(const fs::path &path, MessageBoxes &boxes) {
    InstallFileReader reader(*this, boxes);
    bool result = true;
    try {
        result = reader.Read(path);
        reader.TidyLists();
    } catch (const std::exception &) {
        // What was restored so far stays; the lists are not tidied.
        boxes.Show(kOpenFailedText);
    }
    SetModifiedFlag(false);
    return result;
}

} // namespace tarnhollow
