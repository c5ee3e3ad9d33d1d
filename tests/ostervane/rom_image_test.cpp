// ROM image identification: header kinds, heap marker, family tables, boxes and verdicts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "ostervane/core/rom_image.h"
#include "ostervane/link/debug_packet.h"

namespace ostervane {
namespace {

constexpr uint32_t kMT64 = 0x4D543634;
constexpr uint32_t kEcty = 0x65637479;

struct Box {
    std::string caption, text;
    PromptButtons buttons;
    PromptIcon icon;
};

class RecordingPrompter : public Prompter {
public:
    explicit RecordingPrompter(PromptAnswer answer = PromptAnswer::Ok) : answer_(answer) {}
    PromptAnswer Ask(const std::string &caption, const std::string &text, PromptButtons buttons,
                     PromptIcon icon) override {
        boxes.push_back({caption, text, buttons, icon});
        return buttons == PromptButtons::OkCancel ? answer_ : PromptAnswer::Ok;
    }
    std::vector<Box> boxes;

private:
    PromptAnswer answer_;
};

using Image = std::vector<uint8_t>;

void PutBe(Image &image, size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; i++) {
        image[offset + i] = uint8_t(value >> (8 * (width - 1 - i)));
    }
}

Image BigEndianImage(uint16_t version, const std::string &manufacturer = "", size_t size = 256) {
    Image image(size, 0);
    PutBe(image, 8, 0xFEEDBEEF, 4);
    PutBe(image, 12, version, 2);
    std::memcpy(image.data() + 48, manufacturer.data(), std::min<size_t>(manufacturer.size(), 32));
    return image;
}

Image LittleEndianImage(uint32_t deviceId, size_t size = 256) {
    Image image(size, 0);
    const uint8_t signature[4] = {0xEF, 0xBE, 0xED, 0xFE};
    std::memcpy(image.data() + 8, signature, 4);
    image[12] = 6;
    for (int i = 0; i < 4; i++) {
        image[132 + i] = uint8_t(deviceId >> (8 * i));
    }
    return image;
}

void PutMarker(Image &image, size_t offset, uint32_t address) {
    const char *start = "hEaP", *end = "iDeN";
    std::memcpy(image.data() + offset, start, 4);
    PutBe(image, offset + 4, address, 4);
    PutBe(image, offset + 8, 0x1234, 4);
    std::memcpy(image.data() + offset + 12, end, 4);
}

void PutLe(Image &image, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; i++) {
        image[offset + i] = uint8_t(value >> (8 * i));
    }
}

// Copies `part` into `image` at `offset`, growing the image when needed.
void Place(Image &image, size_t offset, const Image &part) {
    image.resize(std::max(image.size(), offset + part.size()));
    std::copy(part.begin(), part.end(), image.begin() + offset);
}

constexpr uint32_t kCardBase = 0x10C00000;

// Sets the RAM block list (0x200 past the image base) and the big ROM address of the big-endian
// header at 0.
void PointBigEndian(Image &image, uint32_t blockList, uint32_t bigRom) {
    PutBe(image, 88, blockList, 4);
    PutBe(image, 104, bigRom, 4);
}

// A 68k whole card: a small ROM header naming `smallName` that points at `bigRom`, placed
// `offset` bytes into the file.
Image WholeCard(const std::string &smallName, const Image &bigRom, uint32_t offset = 0x8000) {
    Image image = BigEndianImage(3, smallName);
    PointBigEndian(image, kCardBase + 0x200, kCardBase + offset);
    Place(image, offset, bigRom);
    return image;
}

// The image as the file's head and tail; `fileSize` stands for a larger file when given.
RomImageInfo Analyse(const Image &image, uint64_t fileSize = 0) {
    std::span<const uint8_t> bytes(image);
    size_t tail = std::min(bytes.size(), kRomImageTailSize);
    return AnalyseRomImage(bytes.first(std::min(bytes.size(), kRomImageHeadSize)), bytes.last(tail),
                           fileSize ? fileSize : image.size());
}

TEST(RomImage, LittleEndianHeaderTakesItsIdAt132UpToTheSizeLimit) {
    RomImageInfo info = Analyse(LittleEndianImage(kMT64), 0x1000000);
    EXPECT_EQ(info.imageDeviceId, kMT64);
    EXPECT_EQ(DeviceIdText(info.imageDeviceId), "MT64");
    EXPECT_TRUE(info.identified);
    EXPECT_EQ(info.imageAddressList, std::vector<uint32_t>{0xD00000});
    EXPECT_EQ(info.imageLoadBase, 0x100000u);
    EXPECT_EQ(info.imageManufacturer, ""); // a little-endian header has no name field
    RecordingPrompter prompter;
    EXPECT_EQ(DecideRomImage(info, prompter).verdict, RomVerdict::Restore);
    EXPECT_TRUE(prompter.boxes.empty());

    info = Analyse(LittleEndianImage(kMT64), 0x1000001);
    RomIdentification result = DecideRomImage(info, prompter);
    EXPECT_EQ(result.verdict, RomVerdict::TooBig);
    ASSERT_EQ(prompter.boxes.size(), 1u);
    EXPECT_EQ(prompter.boxes[0].caption, "ROM Too Big");
    EXPECT_EQ(prompter.boxes[0].text,
              "This ROM image is bigger than the available ROM or the available space to load it.");
    EXPECT_EQ(prompter.boxes[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(prompter.boxes[0].icon, PromptIcon::Exclamation);
}

TEST(RomImage, SignatureWithoutVersionAboveFiveIsReadBigEndian) {
    Image image = LittleEndianImage(kMT64);
    image[12] = 5; // low byte 5: big-endian version 0x0500, an old header without id
    RomImageInfo info = Analyse(image);
    EXPECT_EQ(info.imageDeviceId, 0u);
    EXPECT_FALSE(info.identified);
}

TEST(RomImage, BigEndianVersionFiveTakesItsIdAt130WithoutWarning) {
    Image image = BigEndianImage(5, "Palm Computing");
    PutBe(image, 130, kEcty, 4);
    RomImageInfo info = Analyse(image, 0x400000);
    EXPECT_EQ(info.imageDeviceId, kEcty);
    EXPECT_EQ(info.imageManufacturer, "Palm Computing");
    EXPECT_EQ(info.sizeLimit, 0x400000u);
    EXPECT_EQ(info.warningCaption, ""); // the id wins over the name
    RecordingPrompter prompter;
    EXPECT_TRUE(DecideRomImage(info, prompter).RunRestore());
    EXPECT_TRUE(prompter.boxes.empty());
    EXPECT_EQ(VerdictIfAccepted(Analyse(image, 0x400001)), RomVerdict::TooBig);
}

TEST(RomImage, DeviceTableRows) {
    struct Row {
        const char *id;
        std::vector<uint32_t> addresses;
        uint32_t loadBase, sizeLimit;
    };
    const Row rows[] = {
        {"MT64", {0xD00000}, 0x100000, 0x1000000},
        {"SPT ", {0x18000, 0x20000}, 0x40000, 0x400000},
        {"aAz1", {0xC00000}, 0x100000, 0x1000000},
        {"aFg1", {0x200000}, 0x200000, 0x800000},
        {"aFg2", {0x200000}, 0x200000, 0x800000},
        {"aPth", {0x200000}, 0x200000, 0x800000},
        {"aref", {0x18000, 0x20000}, 0x40000, 0x400000},
        {"arm0", {0x500000}, 0x100000, 0x2000000},
        {"atlc", {0x100000}, 0x100000, 0x800000},
        {"blfm", {0x500000}, 0x100000, 0x2000000},
        {"ecty", {0x40000}, 0x40000, 0x400000},
        {"mcnd", {0x100000}, 0x100000, 0x800000},
        {"npls", {0x100000}, 0x100000, 0x800000},
        {"p000", {0x80000}, 0x80000, 0x800000},
        {"rlka", {0x500000}, 0x200000, 0x1000000},
        {"shep", {0x40000}, 0x40000, 0x400000},
        {"skyw", {0x40000}, 0x40000, 0x400000},
        {"vlit", {0x40000}, 0x40000, 0x400000},
        {"vtrn", {0x40000}, 0x40000, 0x400000},
        {"vzmn", {0x40000, 0x100000}, 0x40000, 0x400000},
        {"ysmt", {0x100000}, 0x100000, 0x400000},
    };
    for (const Row &row : rows) {
        Image image = BigEndianImage(5);
        std::memcpy(image.data() + 130, row.id, 4);
        RomImageInfo info = Analyse(image);
        EXPECT_EQ(DeviceIdText(info.imageDeviceId), row.id);
        EXPECT_TRUE(info.identified) << row.id;
        EXPECT_EQ(info.imageAddressList, row.addresses) << row.id;
        EXPECT_EQ(info.imageLoadBase, row.loadBase) << row.id;
        EXPECT_EQ(info.sizeLimit, row.sizeLimit) << row.id;
    }
}

TEST(RomImage, ManufacturerWarningsAcceptedAndDeclined) {
    struct Row {
        const char *name, *caption, *text;
        size_t addresses;
        uint32_t sizeLimit;
    };
    const Row rows[] = {
        {"Handspring, Inc.", "Treo ROM",
         "This tool cannot distinguish between a Treo 180, 270 and 300.  Make sure that you are "
         "using the correct ROM image.",
         2, 0x400000},
        {"TRG Products", "TRG ROM",
         "This tool cannot distinguish between a TRGPro and a HandEra 330.  Make sure that you "
         "are using the correct ROM image.",
         2, 0x200000},
        {"Palm Computing", "PalmOS 3 ROM",
         "This tool cannot distinguish between PalmOS 3 devices.  Make sure that you are using "
         "the correct ROM image.",
         3, 0x400000},
    };
    for (const Row &row : rows) {
        RomImageInfo info = Analyse(BigEndianImage(3, row.name));
        EXPECT_EQ(info.imageLoadBase, 0x80000u);
        EXPECT_EQ(info.imageAddressList.size(), row.addresses);
        EXPECT_EQ(info.sizeLimit, row.sizeLimit);
        for (PromptAnswer answer : {PromptAnswer::Ok, PromptAnswer::Cancel}) {
            RecordingPrompter prompter(answer);
            RomIdentification result = DecideRomImage(info, prompter);
            EXPECT_EQ(result.verdict,
                      answer == PromptAnswer::Ok ? RomVerdict::Restore : RomVerdict::Declined);
            EXPECT_EQ(result.info.goOn, answer == PromptAnswer::Ok);
            ASSERT_EQ(prompter.boxes.size(), 1u) << row.name;
            EXPECT_EQ(prompter.boxes[0].caption, row.caption);
            EXPECT_EQ(prompter.boxes[0].text, row.text);
            EXPECT_EQ(prompter.boxes[0].buttons, PromptButtons::OkCancel);
            EXPECT_EQ(prompter.boxes[0].icon, PromptIcon::Exclamation);
        }
    }
}

TEST(RomImage, TooBigFollowsTheWarningEitherWay) {
    RomImageInfo info = Analyse(BigEndianImage(3, "Palm Computing"), 0x400001);
    for (PromptAnswer answer : {PromptAnswer::Ok, PromptAnswer::Cancel}) {
        RecordingPrompter prompter(answer);
        EXPECT_EQ(DecideRomImage(info, prompter).verdict, RomVerdict::TooBig);
        ASSERT_EQ(prompter.boxes.size(), 2u);
        EXPECT_EQ(prompter.boxes[1].caption, "ROM Too Big");
    }
}

TEST(RomImage, ManufacturerMustMatchExactly) {
    for (const char *name : {"Palm Computing Inc", "palm computing", "Palm Computin", ""}) {
        RomImageInfo info = Analyse(BigEndianImage(4, name));
        EXPECT_FALSE(info.identified) << name;
        RecordingPrompter prompter;
        EXPECT_EQ(DecideRomImage(info, prompter).verdict, RomVerdict::Unknown);
        ASSERT_EQ(prompter.boxes.size(), 1u);
        EXPECT_EQ(prompter.boxes[0].caption, "Unknown ROM");
        EXPECT_EQ(prompter.boxes[0].text, "Unknown ROM Type");
        EXPECT_EQ(prompter.boxes[0].buttons, PromptButtons::Ok);
    }
}

// The whole field, as the handheld's own header is read: a backup matches its handheld.
TEST(RomImage, UnterminatedManufacturerKeepsAll32Characters) {
    RomImageInfo info = Analyse(BigEndianImage(3, std::string(32, 'M')));
    EXPECT_EQ(info.imageManufacturer, std::string(32, 'M'));
}

TEST(RomImage, UnreadHeaderLooksForTheMarkerAtStartThenEnd) {
    Image atEnd = BigEndianImage(6, "Somebody Else", 4096);
    PutMarker(atEnd, atEnd.size() - 16, 0x10C80000);
    RomImageInfo info = Analyse(atEnd, 0x7FFFFFFF); // no size limit without a family
    EXPECT_TRUE(info.markerFound);
    EXPECT_FALSE(info.identified);
    EXPECT_EQ(info.imageDeviceId, 0u);
    EXPECT_EQ(info.imageExpectedEnd, 0x10C80000u);
    RecordingPrompter prompter;
    EXPECT_TRUE(DecideRomImage(info, prompter).RunRestore());
    EXPECT_TRUE(prompter.boxes.empty());

    Image atStart(64, 0);
    PutMarker(atStart, 0, 0x00A00000); // its "iD" reads as big-endian version 0x6944
    PutMarker(atStart, 48, 0x00B00000);
    info = Analyse(atStart);
    EXPECT_TRUE(info.markerFound);
    EXPECT_EQ(info.imageExpectedEnd, 0x00A00000u); // the start wins
}

TEST(RomImage, MarkerIsNotLookedForBehindAReadHeader) {
    Image image = LittleEndianImage(0x7A7A7A7A); // not in the table
    PutMarker(image, image.size() - 16, 0x10C80000);
    RomImageInfo info = Analyse(image);
    EXPECT_FALSE(info.markerFound);
    RecordingPrompter prompter;
    EXPECT_EQ(DecideRomImage(info, prompter).verdict, RomVerdict::Unknown);

    Image versionFive = BigEndianImage(5);
    PutBe(versionFive, 130, 0x7A7A7A7A, 4);
    PutMarker(versionFive, versionFive.size() - 16, 0x10C80000);
    EXPECT_EQ(VerdictIfAccepted(Analyse(versionFive)), RomVerdict::Unknown);
}

TEST(RomImage, ShortAndEmptyFilesAreUnknown) {
    EXPECT_EQ(VerdictIfAccepted(AnalyseRomImage({}, {}, 0)), RomVerdict::Unknown);
    Image tiny = BigEndianImage(7, "", 14); // version 0x0700, but no room for a marker block
    EXPECT_EQ(VerdictIfAccepted(Analyse(tiny)), RomVerdict::Unknown);
}

TEST(RomImage, WholeCardIsIdentifiedByItsBigRomNotItsSmallRom) {
    struct Case {
        const char *smallName, *bigName, *warning;
        bool identified;
    };
    const Case cases[] = {
        {"Palm Computing", "Handspring, Inc.", "Treo ROM", true},
        {"Handspring, Inc.", "Palm Computing", "PalmOS 3 ROM", true},
        {"Palm Computing", "Somebody Else", "", false},
    };
    for (const Case &c : cases) {
        Image image = WholeCard(c.smallName, BigEndianImage(3, c.bigName, 0x1000));
        RomImageInfo info = Analyse(image);
        EXPECT_TRUE(info.wholeCard) << c.bigName;
        EXPECT_EQ(info.bigRomOffset, 0x8000u);
        EXPECT_EQ(info.fileSize, 0x9000u);
        EXPECT_EQ(info.writeSize, 0x1000u);
        EXPECT_EQ(info.imageManufacturer, c.bigName);
        EXPECT_EQ(info.warningCaption, c.warning);
        EXPECT_EQ(info.identified, c.identified);
        EXPECT_EQ(ToImageIdentity(info).imageOffset, 0x8000u);
    }
}

TEST(RomImage, WholeCardSizeLimitCountsOnlyThePartWritten) {
    Image image = WholeCard("Palm Computing", BigEndianImage(3, "Palm Computing"));
    RomImageInfo atLimit = Analyse(image, 0x8000 + 0x400000);
    EXPECT_EQ(atLimit.writeSize, 0x400000u);
    EXPECT_EQ(VerdictIfAccepted(atLimit), RomVerdict::Restore);

    RomImageInfo over = Analyse(image, 0x8000 + 0x400001);
    RecordingPrompter prompter;
    EXPECT_EQ(DecideRomImage(over, prompter).verdict, RomVerdict::TooBig);
    ASSERT_EQ(prompter.boxes.size(), 2u);
    EXPECT_EQ(prompter.boxes[1].caption, "ROM Too Big");
}

TEST(RomImage, WholeCardBigRomVersionsAndSmallRomVersionOne) {
    Image small = BigEndianImage(5, "Palm Computing");
    std::memcpy(small.data() + 130, "vzmn", 4);
    PointBigEndian(small, kCardBase + 0x200, kCardBase + 0x8000);
    Image big = BigEndianImage(5);
    PutBe(big, 130, kEcty, 4);
    Place(small, 0x8000, big);
    RomImageInfo info = Analyse(small);
    EXPECT_EQ(info.bigRomOffset, 0x8000u);
    EXPECT_EQ(info.imageDeviceId, kEcty);
    EXPECT_EQ(info.imageAddressList, std::vector<uint32_t>{0x40000});

    // A version 1 header has no big ROM field: its big ROM lies 0x3000 past its base.
    Image old = BigEndianImage(1, "Palm Computing");
    PointBigEndian(old, kCardBase + 0x200, kCardBase + 0x8000); // 104 is not a field yet
    Place(old, 0x3000, BigEndianImage(2, "Handspring, Inc."));
    info = Analyse(old);
    EXPECT_EQ(info.bigRomOffset, 0x3000u);
    EXPECT_EQ(info.imageManufacturer, "Handspring, Inc.");

    // A big-endian version 6 header at the pointed offset is no 68k big ROM.
    Image newer = WholeCard("Palm Computing", BigEndianImage(6, "Handspring, Inc."));
    EXPECT_FALSE(Analyse(newer).wholeCard);
}

TEST(RomImage, WholeCardSearchesFourKiBBoundariesForARecentHeader) {
    Image image = WholeCard("Palm Computing", Image(0x2000, 0)); // nothing where it points
    Place(image, 0x9000, BigEndianImage(3, "Handspring, Inc."));
    RomImageInfo info = Analyse(image);
    EXPECT_EQ(info.bigRomOffset, 0x9000u);
    EXPECT_EQ(info.imageManufacturer, "Handspring, Inc.");

    PointBigEndian(image, kCardBase + 0x200, kCardBase + 0x80000); // past the bytes read
    EXPECT_EQ(Analyse(image, 0x90000).bigRomOffset, 0x9000u);

    Place(image, 0x9000, BigEndianImage(2, "Handspring, Inc.")); // too old to be searched for
    info = Analyse(image);
    EXPECT_FALSE(info.wholeCard);
    EXPECT_EQ(info.imageManufacturer, "Palm Computing");

    Image edge = WholeCard("Palm Computing", Image(0x100, 0), 0x20000);
    Place(edge, 0x40000, BigEndianImage(4, "Handspring, Inc."));
    EXPECT_EQ(Analyse(edge).bigRomOffset, 0x40000u); // the last boundary searched
    Place(edge, 0x40000, Image(0x1000, 0));
    Place(edge, 0x41000, BigEndianImage(4, "Handspring, Inc."));
    EXPECT_FALSE(Analyse(edge).wholeCard);
}

TEST(RomImage, ArmWholeCardWithItsSmallHeaderAfterTheVectors) {
    Image image(0x60, 0xEA); // branch instructions
    Image small = LittleEndianImage(0x7A7A7A7A);
    PutLe(small, 88, 0x20000200);
    PutLe(small, 104, 0x20008000 - 0x60); // LocalIDs count from the header's file offset
    Place(image, 0x60, small);
    Place(image, 0x8000, LittleEndianImage(kMT64, 0x1000));
    RomImageInfo info = Analyse(image, 0x8000 + 0x1000000);
    EXPECT_EQ(info.bigRomOffset, 0x8000u);
    EXPECT_EQ(info.imageDeviceId, kMT64);
    EXPECT_EQ(info.writeSize, 0x1000000u);
    EXPECT_EQ(VerdictIfAccepted(info), RomVerdict::Restore);

    // Pointing beside it, the big ROM is found on its 32 KiB boundary, in either byte order.
    PutLe(image, 0x60 + 104, 0x20008000);
    EXPECT_EQ(Analyse(image).bigRomOffset, 0x8000u);
    Place(image, 0x8000, Image(0x100, 0));
    Place(image, 0x10000, BigEndianImage(3, "Palm Computing"));
    info = Analyse(image);
    EXPECT_EQ(info.bigRomOffset, 0x10000u);
    EXPECT_EQ(info.imageManufacturer, "Palm Computing");
    Place(image, 0x10000, Image(0x100, 0));
    Place(image, 0x9000, LittleEndianImage(kMT64)); // not a 32 KiB boundary
    EXPECT_FALSE(Analyse(image).wholeCard);
    PutLe(image, 0x60 + 104, 0x20009000 - 0x60); // unless pointed at
    EXPECT_EQ(Analyse(image).bigRomOffset, 0x9000u);
}

TEST(RomImage, TrgSmallRomHeaderHasItsBigRomAt64KiB) {
    Image image = BigEndianImage(5, "TRG Products");
    std::memcpy(image.data() + 126, "trgptrg3", 8); // its pointers are left zero
    Place(image, 0x10000, BigEndianImage(3, "TRG Products"));
    RomImageInfo info = Analyse(image);
    EXPECT_EQ(info.bigRomOffset, 0x10000u);
    EXPECT_EQ(info.warningCaption, "TRG ROM");
    EXPECT_EQ(info.imageDeviceId, 0u);

    std::memcpy(image.data() + 126, "trgptrg4", 8);
    info = Analyse(image);
    EXPECT_FALSE(info.wholeCard);
    EXPECT_FALSE(info.identified); // the small header's "trg4" is no known device
}

TEST(RomImage, BigRomOnlyImagesAreWrittenWhole) {
    Image decoy = BigEndianImage(3, "Handspring, Inc."); // a header inside the big ROM's data
    Image plain = BigEndianImage(3, "Palm Computing");   // no pointers at all
    Place(plain, 0x8000, decoy);
    Image backup = plain; // our own backups: the big ROM address is the image base
    PointBigEndian(backup, kCardBase + 0x200, kCardBase);
    Image otherMask = plain; // same low 20 bits: another card mask, still the big ROM
    PointBigEndian(otherMask, 0x00C08200, 0x10C08000);
    Image arm = LittleEndianImage(kMT64);
    PutLe(arm, 88, 0x20000200);
    PutLe(arm, 104, 0x20000000);
    Place(arm, 0x8000, LittleEndianImage(0x61417A31));
    for (const Image *image : {&plain, &backup, &otherMask, &arm}) {
        RomImageInfo info = Analyse(*image);
        EXPECT_FALSE(info.wholeCard);
        EXPECT_EQ(info.bigRomOffset, 0u);
        EXPECT_EQ(info.writeSize, info.fileSize);
        EXPECT_TRUE(info.identified);
        EXPECT_NE(info.imageManufacturer, "Handspring, Inc.");
        EXPECT_NE(info.imageDeviceId, 0x61417A31u);
    }
}

TEST(RomImage, BrokenSmallRomHeadersLeaveTheFileWhole) {
    struct Case {
        const char *what;
        uint32_t blockList, bigRom;
        size_t fileSize;
    };
    const Case cases[] = {
        {"block list below 0x200", 0x1FF, 0x8000, 0x9000},
        {"big ROM before the small one", kCardBase + 0x200, kCardBase - 0x8000, 0x9000},
        {"would wrap to 0x8000 in 32 bits", 0xFFFFFFFF, 0x7DFF, 0x9000},
        {"big ROM past the end", kCardBase + 0x200, kCardBase + 0x9000, 0x9000},
        {"header cut by the end", kCardBase + 0x200, kCardBase + 0x8F01, 0x9000},
    };
    for (const Case &c : cases) {
        Image image = BigEndianImage(3, "Palm Computing");
        PointBigEndian(image, c.blockList, c.bigRom);
        Place(image, 0x8000, BigEndianImage(3, "Handspring, Inc."));
        image.resize(std::min<size_t>(c.fileSize, kRomImageHeadSize));
        RomImageInfo info = Analyse(image, c.fileSize);
        EXPECT_FALSE(info.wholeCard) << c.what;
        EXPECT_EQ(info.imageManufacturer, "Palm Computing") << c.what;
        EXPECT_EQ(info.writeSize, c.fileSize) << c.what;
    }
    // Pointers that check out but no big ROM header anywhere.
    Image missing = WholeCard("Palm Computing", Image(0x1000, 0));
    EXPECT_FALSE(Analyse(missing).wholeCard);
}

class RomImageFile : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const Image &image, uint64_t size) {
        std::filesystem::create_directories(dir_);
        std::string path = (dir_ / "image.rom").string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(image.data()), std::streamsize(image.size()));
        std::filesystem::resize_file(path, size); // sparse: no 16 MB written
        return path;
    }
    // One folder per test process: ctest runs the tests of this fixture side by side, and one's
    // TearDown must not remove another's file.
    std::filesystem::path dir_ = std::filesystem::temp_directory_path() /
                                 ("rom_image_test_" + std::to_string(getpid()) + "_" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(RomImageFile, IdentifiesAFileAndGivesTheJobItsFields) {
    Image image = LittleEndianImage(kMT64);
    RecordingPrompter prompter;
    RomIdentification result = IdentifyRomImage(Write(image, 0x1000000), prompter);
    EXPECT_TRUE(result.RunRestore());
    EXPECT_EQ(result.info.fileSize, 0x1000000u);
    ImageIdentity identity = ToImageIdentity(result.info);
    EXPECT_EQ(identity.imageDeviceId, kMT64);
    ASSERT_TRUE(identity.imageAddressList.has_value());
    EXPECT_EQ(*identity.imageAddressList, std::vector<uint32_t>{0xD00000});
    EXPECT_EQ(identity.imageLoadBase, 0x100000u);
    EXPECT_EQ(identity.imageOffset, 0u);

    Image marked = BigEndianImage(9, "", 4096);
    PutMarker(marked, marked.size() - 16, 0x10C80000);
    result = IdentifyRomImage(Write(marked, marked.size()), prompter);
    EXPECT_TRUE(result.info.markerFound);
    EXPECT_EQ(result.info.imageExpectedEnd, 0x10C80000u);
}

TEST_F(RomImageFile, WholeCardFileIsReadFarEnoughForItsBigRom) {
    Image image = WholeCard("Palm Computing", Image(0x100, 0), 0x10000);
    Place(image, 0x40000, BigEndianImage(3, "Handspring, Inc."));
    RecordingPrompter prompter;
    RomIdentification result = IdentifyRomImage(Write(image, 0x40000 + 0x400000), prompter);
    EXPECT_TRUE(result.RunRestore());
    EXPECT_EQ(result.info.imageManufacturer, "Handspring, Inc.");
    EXPECT_EQ(result.info.writeSize, 0x400000u);
    EXPECT_EQ(ToImageIdentity(result.info).imageOffset, 0x40000u);

    // An ARM big ROM whose header is not read: its marker is the one at the file's end, not one
    // in front of the small ROM.
    Image marked(0x60, 0);
    PutMarker(marked, 0, 0x20A00000);
    Place(marked, 0x60, LittleEndianImage(0x7A7A7A7A));
    PutLe(marked, 0x60 + 88, 0x20000200);
    PutLe(marked, 0x60 + 104, 0x20008000 - 0x60);
    Place(marked, 0x8000, BigEndianImage(6, "", 0x1000));
    PutMarker(marked, marked.size() - 16, 0x20D00000);
    result = IdentifyRomImage(Write(marked, marked.size()), prompter);
    EXPECT_EQ(result.info.bigRomOffset, 0x8000u);
    EXPECT_EQ(result.info.imageExpectedEnd, 0x20D00000u);
    EXPECT_TRUE(result.RunRestore());
}

TEST_F(RomImageFile, UnreadableFileShowsNoBox) {
    RecordingPrompter prompter;
    EXPECT_EQ(IdentifyRomImage((dir_ / "missing.rom").string(), prompter).verdict,
              RomVerdict::Unreadable);
    std::filesystem::create_directories(dir_);
    EXPECT_EQ(IdentifyRomImage(dir_.string(), prompter).verdict, RomVerdict::Unreadable);
    EXPECT_TRUE(prompter.boxes.empty());
}

} // namespace
} // namespace ostervane
