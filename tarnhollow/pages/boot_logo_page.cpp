// Boot Logo page rules.
#include "tarnhollow/pages/boot_logo_page.h"

#include "prc.h"
#include "tarnhollow/document/bitmap_holder.h"
#include "tarnhollow/document/boot_logo_database.h"

namespace tarnhollow {

SetLogoResult SetBootLogo(CTarnhollowDoc &doc, const std::filesystem::path &bitmapFile,
                          const std::filesystem::path &temporaryRoot) {
    std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(bitmapFile);
    if (!bytes) {
        return SetLogoResult::NotValid;
    }
    std::optional<BitmapDescription> bitmap = DescribeBitmap(*bytes);
    if (!bitmap) {
        return SetLogoResult::NotValid;
    }
    if (bitmap->width != kLogoSide || bitmap->height != kLogoSide) {
        return SetLogoResult::WrongSize;
    }
    if (bytes->size() > PRC_MAX_DATA_SIZE) {
        return SetLogoResult::TooLarge;
    }
    FileHandle database = MakeBootLogoDatabase(*bytes, temporaryRoot);
    if (!database) {
        return SetLogoResult::NotCreated;
    }
    doc.m_bootLogoFile = std::move(database);
    doc.m_bitmapHolder.LoadBytes(std::move(*bytes));
    doc.SetModifiedFlag();
    return SetLogoResult::Set;
}

std::optional<std::string> SetLogoMessage(SetLogoResult result) {
    switch (result) {
    case SetLogoResult::NotValid:
        return kNotValidBitmapText;
    case SetLogoResult::WrongSize:
        return kLogoSizeText;
    case SetLogoResult::TooLarge:
        return kLogoTooLargeText;
    case SetLogoResult::Set:
    case SetLogoResult::NotCreated:
        break;
    }
    return std::nullopt;
}

void ShowStoredBootLogo(CTarnhollowDoc &doc) {
    if (doc.m_bitmapHolder.source() != BitmapHolder::Source::None || !doc.m_bootLogoFile) {
        return;
    }
    if (std::optional<std::vector<uint8_t>> bitmap =
            BitmapInBootLogoDatabase(doc.m_bootLogoFile.get())) {
        doc.m_bitmapHolder.LoadBytes(std::move(*bitmap));
    }
}

bool ClearBootLogo(CTarnhollowDoc &doc) {
    if (!doc.m_bootLogoFile) {
        return false;
    }
    doc.m_bootLogoFile.reset();
    doc.m_bitmapHolder.LoadDefaultLogo();
    doc.SetModifiedFlag();
    return true;
}

} // namespace tarnhollow
