// Decoding of the handheld's connection-information answers and the debugger endpoint choice.
#include <gtest/gtest.h>

#include <vector>

#include "ostervane/platform/usb_connection_info.h"

namespace ostervane {
namespace {

using Bytes = std::vector<uint8_t>;

// A 0x04 answer: ports of (four characters, port, endpoint info).
Bytes ExtAnswer(bool endpointsDiffer,
                std::vector<std::tuple<const char *, uint8_t, uint8_t>> ports) {
    Bytes answer = {static_cast<uint8_t>(ports.size()), uint8_t(endpointsDiffer ? 1 : 0), 0, 0};
    for (auto [id, port, info] : ports) {
        answer.insert(answer.end(), id, id + 4);
        answer.insert(answer.end(), {port, info, 0, 0});
    }
    return answer;
}

TEST(ConnectionInfo, FourCharacterAnswerPicksTheDebuggerPortAmongOthers) {
    Bytes answer = ExtAnswer(false, {{"sync", 2, 0}, {"psys", 3, 0}});
    std::vector<UsbFunctionPort> ports = DecodeExtConnectionInfo(answer);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].function, 0x73796E63u); // 'sync'
    EXPECT_TRUE(ports[0].fourCharacterId);
    EXPECT_EQ(ChooseDebuggerPort(ports), (UsbDebuggerEndpoints{0x83, 0x03}));
}

TEST(ConnectionInfo, EndpointNumbersThatDifferComeFromTheInfoNibbles) {
    Bytes answer = ExtAnswer(true, {{"psys", 1, 0x52}});
    EXPECT_EQ(ChooseDebuggerPort(DecodeExtConnectionInfo(answer)),
              (UsbDebuggerEndpoints{0x85, 0x02}));
    // With the flag clear the same info byte is ignored and the port serves both ways.
    Bytes same = ExtAnswer(false, {{"psys", 1, 0x52}});
    EXPECT_EQ(ChooseDebuggerPort(DecodeExtConnectionInfo(same)),
              (UsbDebuggerEndpoints{0x81, 0x01}));
}

TEST(ConnectionInfo, NumericAnswerUsesFunctionOneAndALittleEndianCount) {
    Bytes answer = {2, 0, 2, 1, 1, 2}; // hotsync on port 1, debugger on port 2
    std::vector<UsbFunctionPort> ports = DecodeConnectionInfo(answer);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_FALSE(ports[1].fourCharacterId);
    EXPECT_EQ(ChooseDebuggerPort(ports), (UsbDebuggerEndpoints{0x82, 0x02}));
    // A numeric 1 is not the four-character id, and 'psys' is not a numeric id.
    EXPECT_EQ(ChooseDebuggerPort({{1, true, 0x81, 1}}), std::nullopt);
    EXPECT_EQ(ChooseDebuggerPort({{kUsbDebuggerFunction, false, 0x81, 1}}), std::nullopt);
}

TEST(ConnectionInfo, TruncatedCountsAndUnusableEndpointsAreLeftOut) {
    Bytes counted3 = ExtAnswer(false, {{"psys", 2, 0}});
    counted3[0] = 3; // claims three ports, holds one
    EXPECT_EQ(DecodeExtConnectionInfo(counted3).size(), 1u);
    EXPECT_TRUE(DecodeExtConnectionInfo(Bytes{1, 0}).empty());
    EXPECT_TRUE(DecodeExtConnectionInfo(ExtAnswer(false, {{"psys", 0, 0}})).empty());
    EXPECT_TRUE(DecodeExtConnectionInfo(ExtAnswer(true, {{"psys", 1, 0x0F}})).empty());
    EXPECT_TRUE(DecodeExtConnectionInfo(ExtAnswer(false, {{"psys", 16, 0}})).empty());
    EXPECT_EQ(DecodeConnectionInfo(Bytes{0, 1, 1, 2}).size(), 1u); // count 256, one held
    EXPECT_TRUE(DecodeConnectionInfo(Bytes{1}).empty());
}

TEST(ConnectionInfo, ThePlainAnswerIsUsedOnlyWhenTheFourCharacterOneHoldsNoPort) {
    Bytes ext = ExtAnswer(false, {{"psys", 4, 0}});
    Bytes plain = {1, 0, 1, 6};
    EXPECT_EQ(DebuggerEndpoints(ext, plain), (UsbDebuggerEndpoints{0x84, 0x04}));
    EXPECT_EQ(DebuggerEndpoints(Bytes{0, 0, 0, 0}, plain), (UsbDebuggerEndpoints{0x86, 0x06}));
    EXPECT_EQ(DebuggerEndpoints(std::nullopt, plain), (UsbDebuggerEndpoints{0x86, 0x06}));
    // A usable four-character answer without a debugger port is final.
    EXPECT_EQ(DebuggerEndpoints(ExtAnswer(false, {{"sync", 2, 0}}), plain), std::nullopt);
    EXPECT_EQ(DebuggerEndpoints(std::nullopt, std::nullopt), std::nullopt);
}

} // namespace
} // namespace ostervane
