// The system's feature table, read from its resources in either layout, and what it and the
// card header say about the processor.
#include "ostervane/core/rom_features.h"

#include <set>

#include "ostervane/core/rom_part_reading.h"
#include "ostervane/core/rom_text.h"

namespace ostervane {
namespace {

using rom_reading::RomFields;

constexpr uint32_t kPsys = 0x70737973;    // 'psys'
constexpr uint32_t kRsrc = 0x72737263;    // 'rsrc'
constexpr uint32_t kFeat = 0x66656174;    // 'feat'
constexpr uint32_t kArmFeat = 0x61666561; // 'afea'
constexpr uint16_t kDefaultFeatures = 10000;

// The two layouts: 68k packed big-endian, ARM little-endian with padding.
struct TableLayout {
    RomByteOrder order;
    uint64_t groupsAt;
    uint64_t groupHeader;
    uint64_t featureSize;
    uint64_t valueAt;
};

constexpr TableLayout k68kTable{RomByteOrder::BigEndian, 2, 6, 6, 2};
constexpr TableLayout kArmTable{RomByteOrder::LittleEndian, 4, 8, 8, 4};

void ReadTable(std::span<const uint8_t> bytes, const TableLayout &layout,
               std::vector<RomFeature> &features, const std::string &where,
               std::vector<std::string> *problems) {
    RomFields f(bytes, layout.order);
    if (!f.Has(0, layout.groupsAt)) {
        if (problems != nullptr) {
            problems->push_back(where + ": too short for a feature table");
        }
        return;
    }
    const uint16_t groups = f.U16(0);
    uint64_t at = layout.groupsAt;
    for (uint16_t group = 0; group < groups; group++) {
        if (!f.Has(at, layout.groupHeader)) {
            if (problems != nullptr) {
                problems->push_back(where + ": its " + std::to_string(groups) +
                                    " feature groups run past the resource's end");
            }
            return;
        }
        const uint32_t creator = f.U32(at);
        const uint16_t count = f.U16(at + 4);
        at += layout.groupHeader;
        if (!f.Has(at, count * layout.featureSize)) {
            if (problems != nullptr) {
                problems->push_back(where + ": group '" + FourCharText(creator) + "' has " +
                                    std::to_string(count) +
                                    " features, more than the resource holds");
            }
            return;
        }
        for (uint16_t i = 0; i < count; i++, at += layout.featureSize) {
            features.push_back({creator, f.U16(at), f.U32(at + layout.valueAt)});
        }
    }
}

bool IsPrimaryTable(const RomDatabase &database, const RomResource &resource) {
    const bool arm = resource.type == kArmFeat;
    return resource.id == kDefaultFeatures && database.type == kRsrc &&
           database.name == (arm ? "Boot" : "System");
}

struct TableResource {
    const RomDatabase *database;
    const RomResource *resource;
};

// Each table once, however many entries name its bytes.
std::vector<TableResource> TableResources(const RomImage &image) {
    std::vector<TableResource> primary, others;
    std::set<uint64_t> seen;
    for (const RomDatabase *database : image.Databases()) {
        if (database->creator != kPsys) {
            continue;
        }
        for (const RomResource &resource : database->resources) {
            if ((resource.type == kFeat || resource.type == kArmFeat) && resource.data &&
                seen.insert(resource.data->offset).second) {
                (IsPrimaryTable(*database, resource) ? primary : others)
                    .push_back({database, &resource});
            }
        }
    }
    primary.insert(primary.end(), others.begin(), others.end());
    return primary;
}

} // namespace

std::vector<RomFeature> ReadFeatureTable(const RomImage &image,
                                         std::vector<std::string> *problems) {
    std::vector<RomFeature> features;
    for (const TableResource &table : TableResources(image)) {
        const std::string where = std::string(PartName(table.database->part)) + ", database " +
                                  std::to_string(table.database->index) + " '" +
                                  ShownPalmText(table.database->name) + "', resource '" +
                                  FourCharText(table.resource->type) + "' " +
                                  std::to_string(table.resource->id);
        ReadTable(image.Bytes(*table.resource->data),
                  table.resource->type == kArmFeat ? kArmTable : k68kTable, features, where,
                  problems);
    }
    return features;
}

std::optional<uint32_t> RomOsVersion(const std::vector<RomFeature> &features) {
    for (const RomFeature &feature : features) {
        if (feature.creator == kPsys && feature.number == 1) {
            return feature.value;
        }
    }
    return std::nullopt;
}

std::string RomCpuFamily(const RomCardHeader &card, const std::vector<RomFeature> &features) {
    if (card.arm) {
        return "ARM";
    }
    if (card.headerVersion < 3) {
        return "68328";
    }
    static const std::pair<uint16_t, const char *> kFlags[] = {{kRomCardFlag68328, "68328"},
                                                               {kRomCardFlag68EZ328, "68EZ328"},
                                                               {kRomCardFlag68VZ328, "68VZ328"},
                                                               {kRomCardFlag68SZ328, "68SZ328"}};
    std::string family;
    for (const auto &[bit, name] : kFlags) {
        if (card.flags & bit) {
            family += (family.empty() ? "" : ", ") + std::string(name);
        }
    }
    if (!family.empty()) {
        return family;
    }
    for (const RomFeature &feature : features) {
        if (feature.creator == kPsys && feature.number == 2) {
            const uint16_t processor = uint16_t(feature.value >> 16);
            return processor == 1 ? "68328" : processor == 2 ? "68EZ328" : "";
        }
    }
    return "";
}

} // namespace ostervane
