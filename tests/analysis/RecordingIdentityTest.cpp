// The page's identity of a recording: SHA-256 against published digests, fed
// in awkward pieces, and the receiver's name from NMEA text sentences and
// from a BINR device frame whose text holds a stuffed DLE.
#include "BinrEncoder.h"
#include "BinrLayouts.h"
#include "RecordingIdentity.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string Digest(const std::string& bytes, size_t piece)
{
    Sha256 sha;
    for (size_t at = 0; at < bytes.size(); at += piece)
        sha.Add(reinterpret_cast<const uint8_t*>(bytes.data()) + at, std::min(piece, bytes.size() - at));
    return sha.HexDigest();
}

TEST(RecordingIdentity, Sha256MatchesPublishedDigestsWhateverThePieces)
{
    struct Row {
        std::string bytes;
        const char* hex;
    };
    const Row rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const bool portable : {false, true}) {
        Sha256::portableOnly = portable;
        for (const Row& r : rows)
            for (const size_t piece : {size_t(1), size_t(63), size_t(64), size_t(1000), size_t(1) << 20})
                EXPECT_EQ(Digest(r.bytes, piece), r.hex) << r.bytes.size() << " in pieces of " << piece << (portable ? ", portable" : "");
    }
    Sha256::portableOnly = false;
}

TEST(RecordingIdentity, ReceiverNameFromTheStreamHead)
{
    struct Row {
        bool binr;
        std::string bytes;
        const char* name;
    };
    BinrBytes payload(kDeviceTextMax + 1, 0);
    const std::string device = std::string("RX-9 v2.1 ") + char(0x10) + "x";
    std::copy(device.begin(), device.end(), payload.begin() + 1);
    const BinrBytes frame = BinrFrame(kMsgDeviceInfo, payload);
    const Row rows[] = {
        {false, "$GPGGA,1*00\r\n$GPTXT,01,01,02,ANTSTATUS=OK*3B\r\n$GNTXT,01,01,02,FW 1.2,build 7*00\r\n",
         "ANTSTATUS=OK; FW 1.2,build 7"},
        {false, "$PMTK705,AXN_5.1.6_3333_19012300,0000,L76K,1.0*6B\r\n", "AXN_5.1.6_3333_19012300,0000,L76K,1.0"},
        {false, "$GPTXT,01,01,02,same*00\n$GPTXT,01,01,02,same*00\n", "same"},
        {false, "$GPGGA,123519,4807.038,N*00\n$GPTXT,01*00\n", ""},
        {true, "junk" + std::string(frame.begin(), frame.end()), device.c_str()},
    };
    for (const Row& r : rows) {
        ReceiverNameFinder finder(r.binr);
        for (const char c : r.bytes) {   // byte by byte: every state crosses a block end
            const uint8_t b = uint8_t(c);
            finder.Add(&b, 1);
        }
        EXPECT_EQ(finder.Name(), r.name) << r.bytes.substr(0, 20);
    }
}

} // namespace
