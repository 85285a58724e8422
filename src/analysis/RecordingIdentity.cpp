#include "RecordingIdentity.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "Util.h"

#include <algorithm>
#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
    0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
    0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
    0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
    0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
    0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
    0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

constexpr uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

#if defined(__x86_64__) && defined(__GNUC__)
// The processor's SHA instructions, where it has them: a tenth of the time,
// so hashing a recording beside its decoding never holds the report up.
__attribute__((target("sha,sse4.1"))) void BlocksWithShaNi(uint32_t* state, const uint8_t* data, size_t blocks)
{
    const __m128i mask = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);          // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);    // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);   // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);        // CDGH
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abef = state0, cdgh = state1;
        __m128i msg[4];
        for (int i = 0; i < 4; ++i)
            msg[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), mask);
        for (int r = 0; r < 16; ++r) {
            __m128i& m = msg[r % 4];
            if (r >= 4) {
                // m[r] = sigma1 part of m[r-1] on top of m[r-4] + sigma0(m[r-3]) + m[r-2] tail.
                __m128i t = _mm_alignr_epi8(msg[(r + 3) % 4], msg[(r + 2) % 4], 4);
                m = _mm_sha256msg1_epu32(m, msg[(r + 1) % 4]);
                m = _mm_add_epi32(m, t);
                m = _mm_sha256msg2_epu32(m, msg[(r + 3) % 4]);
            }
            const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * r]));
            __m128i w = _mm_add_epi32(m, k);
            state1 = _mm_sha256rnds2_epu32(state1, state0, w);
            w = _mm_shuffle_epi32(w, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, w);
        }
        state0 = _mm_add_epi32(state0, abef);
        state1 = _mm_add_epi32(state1, cdgh);
    }
    tmp = _mm_shuffle_epi32(state0, 0x1B);       // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);    // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0); // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);    // ABEF
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

// Asked of CPUID itself: not every compiler's __builtin_cpu_supports knows "sha".
bool HasShaNi()
{
    static const bool has = [] {
        constexpr unsigned kSse41 = 1u << 19;   // leaf 1, ECX
        constexpr unsigned kSha = 1u << 29;     // leaf 7, EBX
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & kSse41))
            return false;
        if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
            return false;
        return (b & kSha) != 0;
    }();
    return has;
}
#else
void BlocksWithShaNi(uint32_t*, const uint8_t*, size_t) {}
bool HasShaNi() { return false; }
#endif

} // namespace

Sha256::Sha256() : h_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::Block(const uint8_t* p)
{
    if (HasShaNi() && !portableOnly) {
        BlocksWithShaNi(h_.data(), p, 1);
        return;
    }
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
    for (int i = 0; i < 64; ++i) {
        const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
        const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const uint32_t add[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i)
        h_[i] += add[i];
}

void Sha256::Add(const uint8_t* data, size_t n)
{
    bytes_ += n;
    if (buffered_) {
        const size_t take = std::min(n, buffer_.size() - buffered_);
        std::memcpy(buffer_.data() + buffered_, data, take);
        buffered_ += take;
        data += take;
        n -= take;
        if (buffered_ < buffer_.size())
            return;
        Block(buffer_.data());
        buffered_ = 0;
    }
    if (n >= 64 && HasShaNi() && !portableOnly) {
        BlocksWithShaNi(h_.data(), data, n / 64);
        data += n / 64 * 64;
        n %= 64;
    }
    for (; n >= 64; data += 64, n -= 64)
        Block(data);
    std::memcpy(buffer_.data(), data, n);
    buffered_ = n;
}

std::string Sha256::HexDigest()
{
    const uint64_t bits = bytes_ * 8;
    const uint8_t one = 0x80, zero = 0;
    Add(&one, 1);
    while (buffered_ != 56)
        Add(&zero, 1);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = uint8_t(bits >> (56 - 8 * i));
    Add(length, 8);
    std::string hex;
    for (const uint32_t v : h_)
        hex += Format("%08x", v);
    return hex;
}

// ---------------------------------------------------------------- names

void ReceiverNameFinder::Add(const uint8_t* data, size_t n)
{
    if (seen_ >= kHeadBytes || name_.size() >= kNameMax)
        return;
    n = std::min(n, kHeadBytes - seen_);
    seen_ += n;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        if (binr_) {
            // DLE ID ... DLE ETX, a data DLE doubled.
            if (dle_) {
                dle_ = false;
                if (b == kEtx && inFrame_) {
                    AddBinrFrame();
                    inFrame_ = false;
                    line_.clear();
                    continue;
                }
                if (b != kDle) {
                    inFrame_ = true;
                    line_.assign(1, char(b));
                    continue;
                }
            } else if (b == kDle) {
                dle_ = true;
                continue;
            }
            if (inFrame_ && line_.size() < 1024)
                line_ += char(b);
        } else if (b == '\n' || b == '\r') {
            AddNmeaLine();
            line_.clear();
        } else if (line_.size() < 256) {
            line_ += char(b);
        }
    }
}

void ReceiverNameFinder::AddNmeaLine()
{
    // $GPTXT,01,01,02,u-blox ag - www.u-blox.com*50
    // $PMTK705,AXN_2.31_3339_13101700,5632,PA6H,1.0*6B
    const bool txt = line_.size() > 7 && line_[0] == '$' && line_.compare(3, 4, "TXT,") == 0;
    const bool pmtk = line_.compare(0, 8, "$PMTK705") == 0;
    if (!txt && !pmtk)
        return;
    std::string text = line_.substr(0, line_.rfind('*') == std::string::npos ? line_.size() : line_.rfind('*'));
    if (txt) {
        // The text follows the counts and the message type.
        size_t at = 0;
        for (int field = 0; field < 4 && at != std::string::npos; ++field)
            at = text.find(',', at + 1);
        if (at == std::string::npos)
            return;
        text = text.substr(at + 1);
    } else {
        text = text.substr(9);
    }
    if (text.empty() || name_.find(text) != std::string::npos)
        return;
    name_ += (name_.empty() ? "" : "; ") + text;
    if (name_.size() > kNameMax)
        name_.resize(kNameMax);
}

void ReceiverNameFinder::AddBinrFrame()
{
    if (line_.empty() || uint8_t(line_[0]) != kMsgDeviceInfo || line_.size() < 2 || !name_.empty())
        return;
    char text[kDeviceTextMax + 1];
    const std::string payload = line_.substr(1) + std::string(kDeviceTextMax + 1, '\0');
    ReadDeviceText(reinterpret_cast<const uint8_t*>(payload.data()), text);
    name_ = text;
    while (!name_.empty() && (name_.back() == ' ' || name_.back() == '\0'))
        name_.pop_back();
}
