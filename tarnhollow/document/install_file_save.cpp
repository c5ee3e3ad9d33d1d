// Saving a document as a flash install file: the temporary Data and Remove databases, the
// package with its resources and chunk groups, and the optional uninstaller.
//
// Where this goes beyond writing one file after the other, it keeps the user's files safe:
//  - every refusal and failure returns false and leaves the document modified;
//  - an uninstaller that cannot be written (read-only, say) is named in a warning, and the
//    save of the package still counts;
//  - databases too large for their chunk group, and a base name with a character the
//    handhelds cannot hold, are refused before anything is written;
//  - the package and the uninstaller are built whole in memory and written only when both are
//    complete, each by an atomic replacement, so a failure leaves the earlier files as they were
//    (and removes an empty file the library made to claim a new name);
//  - a temporary database that can neither be opened nor created stops the save;
//  - the temporary databases are written in place and removed on every path.
#include <algorithm>
#include <optional>
#include <string>
#include <system_error>

#include "tarnhollow/common/palm_text.h"
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

// The files and database names derived from the path the user chose.  The files are named as
// the file system spells the base name (UTF-8); the databases carry it in the handhelds' text.
struct SaveNames {
    fs::path folder;
    std::string fileBase;
    std::string base;
    std::string refused; // a character of the base name that the handhelds cannot hold

    static SaveNames From(const fs::path &chosen) {
        const std::string stem = chosen.stem().string();
        PalmTextEncoding palm = PalmTextFromUtf8(stem);
        return SaveNames{chosen.parent_path(), stem, palm.palm.value_or(""), palm.refused};
    }
    fs::path Package() const { return folder / (fileBase + layout::kPackageExtension); }
    fs::path Uninstaller() const {
        return folder / (fileBase + layout::kUninstallerSuffix + layout::kPackageExtension);
    }
    fs::path DataFile() const {
        return folder / (fileBase + layout::kDataSuffix + layout::kTemporaryExtension);
    }
    fs::path RemoveFile() const {
        return folder / (fileBase + layout::kRemoveSuffix + layout::kTemporaryExtension);
    }
    std::string DataName() const { return base + layout::kDataSuffix; }
    std::string RemoveName() const { return base + layout::kRemoveSuffix; }
    std::string UninstallerName() const { return base + layout::kUninstallerSuffix; }
};

// A temporary database file beside the package, written in place through a stream the save
// holds.  It is deleted again however the save ends, so it needs no atomic replacement.  A
// read-only leftover is neither used nor deleted: the save stops instead.
class TemporaryFile {
public:
    explicit TemporaryFile(fs::path path) : m_path(std::move(path)) {}
    ~TemporaryFile() {
        m_stream.reset();
        if (m_owned) {
            std::error_code ignored;
            fs::remove(m_path, ignored);
        }
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    const fs::path &path() const { return m_path; }
    std::FILE *stream() const { return m_stream.get(); }

    // Opens the file for reading and writing, creating it when missing.
    std::FILE *Open() {
        std::error_code ignored;
        const bool exists = fs::exists(m_path, ignored);
        if (!IsReadOnlyFile(m_path)) {
            m_stream.reset(std::fopen(m_path.c_str(), exists ? "r+be" : "w+be"));
        }
        if (!m_stream) {
            throw FileException(FileException::Cause::WriteFault, m_path,
                                "cannot open or create temporary database");
        }
        m_owned = true;
        return m_stream.get();
    }

private:
    fs::path m_path;
    FileHandle m_stream;
    bool m_owned = false;
};

// An output file the save may create: the library claims a new name with an empty file, which
// is removed again when the save fails before writing it.
class OutputClaim {
public:
    explicit OutputClaim(fs::path path) : m_path(std::move(path)) {
        std::error_code ignored;
        m_existed = fs::exists(m_path, ignored);
    }
    ~OutputClaim() {
        std::error_code error;
        if (!m_written && !m_existed && fs::file_size(m_path, error) == 0 && !error) {
            fs::remove(m_path, error);
        }
    }
    OutputClaim(const OutputClaim &) = delete;
    OutputClaim &operator=(const OutputClaim &) = delete;

    const fs::path &path() const { return m_path; }
    void Written() { m_written = true; }

private:
    fs::path m_path;
    bool m_existed = false;
    bool m_written = false;
};

// What a save wrote: a read-only package is left alone, and so is an uninstaller that cannot
// be written.
struct WriteOutcome {
    bool packageWritten = false;
    std::optional<fs::path> uninstallerNotWritten;
};

class InstallFileWriter {
public:
    InstallFileWriter(CTarnhollowDoc &doc, SaveNames names)
        : m_doc(doc), m_names(std::move(names)), m_buffer(doc.m_chunkBuffer) {}

    std::optional<std::string> Refusal() const;
    WriteOutcome Write();

private:
    bool LaunchEntryListed() const;
    uint32_t FixedGroupCount() const;
    uint32_t EmbeddedGroupCount() const;

    bool MarkLaunchEntries();
    void WriteDataDatabase(TemporaryFile &file);
    void WriteRemoveDatabase(TemporaryFile &file);
    void FillUninstaller(prc_t *uninstaller);
    void FillPackage(prc_t *package, const TemporaryFile &data, const TemporaryFile &remove,
                     bool launchFound);
    void AppendConfiguration(prc_t *package);
    uint32_t AppendFixedGroups(prc_t *package, const TemporaryFile &data,
                               const TemporaryFile &remove, bool launchFound);
    void AppendEntryGroups(prc_t *package, uint32_t id);
    fs::path Component(const char *file) const { return m_doc.ComponentsFolder() / file; }

    CTarnhollowDoc &m_doc;
    SaveNames m_names;
    std::span<uint8_t> m_buffer;
};

// RAM entries are embedded when checked; expansion-ROM entries always.
bool IsCheckedRamEntry(const PackageEntry &entry) {
    return (entry.flags & kFlagChecked) != 0;
}

// A source that fits its group, or the refusal naming it.  A source without a readable or
// non-empty stream cannot be saved at all.
std::optional<std::string> SizeRefusal(std::FILE *stream, const std::string &name,
                                       uint64_t maxChunks) {
    const std::optional<int64_t> size = StreamSize(stream);
    if (!size || *size == 0) {
        throw FileException(FileException::Cause::ReadFault, {}, "source missing: " + name);
    }
    if (ChunksFor(static_cast<uint64_t>(*size)) > maxChunks) {
        return TooLargeToEmbedText(name, maxChunks * kChunkSize);
    }
    return std::nullopt;
}

bool InstallFileWriter::LaunchEntryListed() const {
    auto named = [this](const PackageEntry &entry) {
        return entry.Name() == m_doc.m_launchAfterReset;
    };
    return std::any_of(m_doc.m_ramList.begin(), m_doc.m_ramList.end(), named) ||
           std::any_of(m_doc.m_romList.begin(), m_doc.m_romList.end(), named);
}

// Data and FlashRestore (when there are entries), Remove and FlashInit.
uint32_t InstallFileWriter::FixedGroupCount() const {
    uint32_t groups = 2;
    if (!m_doc.m_ramList.empty() || !m_doc.m_romList.empty()) {
        ++groups;
        if (!m_doc.m_ramList.empty() || LaunchEntryListed()) {
            ++groups;
        }
    }
    return groups;
}

uint32_t InstallFileWriter::EmbeddedGroupCount() const {
    return static_cast<uint32_t>(
        std::count_if(m_doc.m_ramList.begin(), m_doc.m_ramList.end(), IsCheckedRamEntry) +
        m_doc.m_romList.size() + (m_doc.m_bootLogoFile ? 1 : 0));
}

std::optional<std::string> InstallFileWriter::Refusal() const {
    if (!m_names.refused.empty()) {
        return NoPalmFormText(m_names.refused);
    }
    std::optional<std::string> refusal;
    if (m_doc.m_hasPreinstall) {
        refusal = SizeRefusal(m_doc.m_preinstallFile.get(), m_doc.m_preinstallName,
                              layout::kMaxPreinstallChunks);
    }
    for (const PackageEntry &entry : m_doc.m_ramList) {
        if (!refusal && IsCheckedRamEntry(entry)) {
            refusal = SizeRefusal(entry.file.get(), entry.Name(), layout::kMaxGroupChunks);
        }
    }
    for (const PackageEntry &entry : m_doc.m_romList) {
        if (!refusal) {
            refusal = SizeRefusal(entry.file.get(), entry.Name(), layout::kMaxGroupChunks);
        }
    }
    if (!refusal && m_doc.m_bootLogoFile) {
        refusal = SizeRefusal(m_doc.m_bootLogoFile.get(),
                              DatabaseNameIn(m_doc.m_bootLogoFile.get()), layout::kMaxGroupChunks);
    }
    const uint64_t groups = FixedGroupCount() + EmbeddedGroupCount();
    const uint64_t lastId =
        layout::kFirstGroupBase + (groups - 1) * layout::kGroupStride + layout::kMaxGroupChunks - 1;
    if (!refusal && lastId > layout::kLastResourceId) {
        refusal = kTooManyDatabasesText;
    }
    return refusal;
}

// The launch flag goes to every entry named exactly as the launch choice and stays in the
// document.  True when some entry carries it.
bool InstallFileWriter::MarkLaunchEntries() {
    bool found = false;
    for (auto *list : {&m_doc.m_ramList, &m_doc.m_romList}) {
        for (PackageEntry &entry : *list) {
            entry.flags &= static_cast<uint8_t>(~kFlagLaunch);
            if (entry.Name() == m_doc.m_launchAfterReset) {
                entry.flags |= kFlagLaunch;
                found = true;
            }
        }
    }
    return found;
}

PrcHandle OpenTemporaryDatabase(TemporaryFile &file, const std::string &name, uint32_t type) {
    PrcHandle database = OpenOrCreateRecordDatabase(file.Open(), name, type);
    if (!database) {
        throw FileException(FileException::Cause::WriteFault, file.path(),
                            "cannot open or create temporary database");
    }
    return database;
}

void AppendDataRecord(prc_t *data, const PackageEntry &entry, uint16_t attribute) {
    uint8_t body[layout::kDataRecordSize] = {};
    std::copy(entry.name.begin(), entry.name.end(), body);
    body[32] = entry.flags;
    body[33] = entry.location;
    AppendRecord(data, attribute, body, sizeof body);
}

void SetTwoByteAppInfo(prc_t *database, uint8_t first, uint8_t second, const fs::path &path) {
    const uint8_t block[2] = {first, second};
    if (prcsetappinfo(database, block, sizeof block) != 0) {
        throw FileException(FileException::Cause::WriteFault, path, "cannot set info block");
    }
}

void InstallFileWriter::WriteDataDatabase(TemporaryFile &file) {
    PrcHandle data = OpenTemporaryDatabase(file, m_names.DataName(), layout::kTypeData);
    const uint8_t options = (m_doc.m_eraseExpansionRom ? layout::kEraseBit : 0) |
                            (m_doc.m_autoInstall ? layout::kAutoInstallBit : 0);
    SetTwoByteAppInfo(data.get(), options, 0, file.path());
    for (const PackageEntry &entry : m_doc.m_ramList) {
        AppendDataRecord(data.get(), entry, layout::kRamRecordAttribute);
    }
    for (const PackageEntry &entry : m_doc.m_romList) {
        AppendDataRecord(data.get(), entry, layout::kRomRecordAttribute);
    }
    WriteInPlace(data.get(), file.path());
}

void InstallFileWriter::WriteRemoveDatabase(TemporaryFile &file) {
    PrcHandle remove = OpenTemporaryDatabase(file, m_names.RemoveName(), layout::kTypeRemove);
    const uint8_t options = (m_doc.m_installStubs ? layout::kStubsBit : 0) |
                            (m_doc.m_autoInstall ? layout::kAutoInstallBit : 0);
    const uint8_t language =
        m_doc.m_languageCode.empty() ? 0 : static_cast<uint8_t>(m_doc.m_languageCode[0]);
    SetTwoByteAppInfo(remove.get(), options, language, file.path());
    for (const std::string &name : m_doc.m_removeList) {
        AppendRecord(remove.get(), 0, name.c_str(), name.size() + 1);
    }
    WriteInPlace(remove.get(), file.path());
}

void InstallFileWriter::FillUninstaller(prc_t *uninstaller) {
    CopyResources(uninstaller, Component(layout::kUninstallerFile));
    AppendTextResource(uninstaller, layout::kResDataName, layout::kConfigId, m_names.DataName());
}

void InstallFileWriter::AppendConfiguration(prc_t *package) {
    for (size_t i = 0; i < m_doc.m_deviceIds.size(); ++i) {
        AppendTextResource(package, layout::kResDevice, layout::kConfigId + i,
                           m_doc.m_deviceIds[i]);
    }
    AppendTextResource(package, layout::kResExpansionRom, layout::kConfigId,
                       std::to_string(m_doc.m_expansionRomKB));
    CopyResources(package, Component(layout::kPayLoadFile));
    if (!m_doc.m_packageName.empty()) {
        if (prc_record_t *old =
                prcgetresource(package, layout::kResLauncherName, layout::kConfigId)) {
            prcdestroyresource(prcremoveresource(package, old));
        }
        AppendTextResource(package, layout::kResLauncherName, layout::kConfigId,
                           m_doc.m_packageName);
    }
}

// Data (when written) and FlashRestore, Remove and FlashInit; returns the next free base.
uint32_t InstallFileWriter::AppendFixedGroups(prc_t *package, const TemporaryFile &data,
                                              const TemporaryFile &remove, bool launchFound) {
    uint32_t id = layout::kFirstGroupBase;
    if (data.stream() != nullptr) {
        AppendChunkGroup(package, data.stream(), id, layout::kMaxGroupChunks, false, m_buffer);
        id += layout::kGroupStride;
        if (launchFound) {
            AppendChunkGroup(package, Component(layout::kFlashRestoreFile), id,
                             layout::kMaxGroupChunks, m_buffer);
            id += layout::kGroupStride;
        }
    }
    AppendChunkGroup(package, remove.stream(), id, layout::kMaxGroupChunks, false, m_buffer);
    AppendChunkGroup(package, Component(layout::kFlashInitFile), id + layout::kGroupStride,
                     layout::kMaxGroupChunks, m_buffer);
    return id + 2 * layout::kGroupStride;
}

// Checked RAM entries, expansion-ROM entries (inverted when flagged), then the boot logo,
// which the open recognises by its type wherever its group sits.
void InstallFileWriter::AppendEntryGroups(prc_t *package, uint32_t id) {
    for (const PackageEntry &entry : m_doc.m_ramList) {
        if (IsCheckedRamEntry(entry)) {
            AppendChunkGroup(package, entry.file.get(), id, layout::kMaxGroupChunks, false,
                             m_buffer);
            id += layout::kGroupStride;
        }
    }
    for (const PackageEntry &entry : m_doc.m_romList) {
        AppendChunkGroup(package, entry.file.get(), id, layout::kMaxGroupChunks,
                         (entry.flags & kFlagInverted) != 0, m_buffer);
        id += layout::kGroupStride;
    }
    if (m_doc.m_bootLogoFile) {
        AppendChunkGroup(package, m_doc.m_bootLogoFile.get(), id, layout::kMaxGroupChunks, false,
                         m_buffer);
    }
}

void InstallFileWriter::FillPackage(prc_t *package, const TemporaryFile &data,
                                    const TemporaryFile &remove, bool launchFound) {
    if (m_doc.m_autoInstall) {
        package->flags |= layout::kAutoInstallAttribute;
    } else {
        package->flags &= static_cast<uint16_t>(~layout::kAutoInstallAttribute);
    }
    AppendConfiguration(package);
    if (m_doc.m_hasPreinstall) {
        AppendChunkGroup(package, m_doc.m_preinstallFile.get(), layout::kPreinstallBase,
                         layout::kMaxPreinstallChunks, false, m_buffer);
    }
    AppendEntryGroups(package, AppendFixedGroups(package, data, remove, launchFound));
}

WriteOutcome InstallFileWriter::Write() {
    TemporaryFile dataFile(m_names.DataFile());
    TemporaryFile removeFile(m_names.RemoveFile());
    const bool dataBuilt = !m_doc.m_ramList.empty() || !m_doc.m_romList.empty();
    bool launchFound = false;
    if (dataBuilt) {
        launchFound = MarkLaunchEntries() || !m_doc.m_ramList.empty();
        WriteDataDatabase(dataFile);
    }
    WriteRemoveDatabase(removeFile);

    OutputClaim packageClaim(m_names.Package());
    PrcHandle package =
        OpenOrCreateResourceDatabase(packageClaim.path(), m_names.base, layout::kCreatorPackage);
    std::optional<OutputClaim> uninstallerClaim;
    PrcHandle uninstaller;
    if (m_doc.m_createUninstaller) {
        uninstallerClaim.emplace(m_names.Uninstaller());
        uninstaller = OpenOrCreateResourceDatabase(
            uninstallerClaim->path(), m_names.UninstallerName(), layout::kCreatorUninstaller);
        if (uninstaller) {
            FillUninstaller(uninstaller.get());
        }
    }
    if (package) {
        FillPackage(package.get(), dataFile, removeFile, launchFound);
    }

    // Both are complete in memory; only now does anything replace the files on disk.
    WriteOutcome outcome;
    if (uninstaller) {
        WriteAndClose(uninstaller, uninstallerClaim->path());
        uninstallerClaim->Written();
    } else if (uninstallerClaim) {
        outcome.uninstallerNotWritten = uninstallerClaim->path();
    }
    if (package) {
        WriteAndClose(package, packageClaim.path());
        packageClaim.Written();
        outcome.packageWritten = true;
    }
    return outcome;
}

} // namespace

bool CTarnhollowDoc::OnSaveDocument(const fs::path &path, MessageBoxes &boxes) {
    try {
        InstallFileWriter writer(*this, SaveNames::From(path));
        if (std::optional<std::string> refusal = writer.Refusal()) {
            boxes.Show(*refusal);
            return false;
        }
        const WriteOutcome outcome = writer.Write();
        if (outcome.uninstallerNotWritten) {
            const fs::path &skipped = *outcome.uninstallerNotWritten;
            boxes.Show(UninstallerNotWrittenText(skipped, IsReadOnlyFile(skipped)),
                       BoxIcon::Warning);
        }
        // A read-only package is left alone without a message; nothing was saved, so the
        // document stays modified.
        if (!outcome.packageWritten) {
            return false;
        }
    } catch (const std::exception &) {
        boxes.Show(kSaveFailedText);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

} // namespace tarnhollow
