#pragma once
// What identifies a recording on the report page: the SHA-256 of its bytes,
// so a reader can tell that a page and a file belong together, and the
// receiver's own name when its stream gives one. Both are fed the file's
// blocks as the report reads them, so the file is read once.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    Sha256();
    void Add(const uint8_t* data, size_t n);
    // The digest as 64 lower-case hex digits; the object is spent after it.
    std::string HexDigest();

    // The processor's SHA instructions are used where it has them; tests
    // switch them off to check the portable rounds too.
    static inline bool portableOnly = false;

private:
    void Block(const uint8_t* p);
    std::array<uint32_t, 8> h_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t bytes_ = 0;
};

// The receiver's name as its stream states it: for NMEA the text of the
// first `$..TXT` sentences and `$PMTK` version answers, for BINR the device
// text of message 0x70. Only the head of a stream is searched (where
// receivers announce themselves), so a long recording costs nothing more.
// The text is kept as sent, cut to a line; the page escapes it.
class ReceiverNameFinder {
public:
    explicit ReceiverNameFinder(bool binr) : binr_(binr) {}
    void Add(const uint8_t* data, size_t n);
    const std::string& Name() const { return name_; }

    static constexpr size_t kHeadBytes = 1 << 20;
    static constexpr size_t kNameMax = 200;

private:
    void AddNmeaLine();
    void AddBinrFrame();
    bool binr_;
    size_t seen_ = 0;
    std::string line_;
    bool dle_ = false, inFrame_ = false;
    std::string name_;
};
