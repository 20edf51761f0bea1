#include "text/codepage.h"

#include <iconv.h>

#if defined(__x86_64__)
#include <immintrin.h>
#define TOLVANE_WIDE_DECODE 1
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "text/utf8.h"

namespace text {

namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openIconv(const std::string& to, const std::string& from) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return IconvHandle(nullptr);
    }
    return IconvHandle(cd);
}

constexpr size_t kFailed = static_cast<size_t>(-1);

// Converts `in`, one character, with `cd` from its initial state, flushing what it holds back.
// Nothing when iconv rejects the input; `incomplete` then tells a sequence cut short.
std::optional<std::string> convertCharacter(void* handle, std::string_view in, bool* incomplete) {
    const auto cd = static_cast<iconv_t>(handle);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string input(in);
    char* inPtr = input.data();
    size_t inLeft = input.size();
    char buffer[64];
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const bool converted = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != kFailed;
    *incomplete = !converted && errno == EINVAL;
    if (!converted || iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == kFailed) {
        return std::nullopt;
    }
    return std::string(buffer, sizeof buffer - outLeft);
}

// Fills `high` with the UTF-8 of each byte from 0x80 up (U+FFFD where `cd` has none). True
// when `cd` decodes each byte as one character on its own: the ASCII bytes as themselves,
// every byte from 0x80 up as one character or as invalid, none as the start of a longer
// sequence (as a lead byte of a double-byte code page is).
bool decodesByteByByte(void* cd, std::array<std::string, 128>& high) {
    for (unsigned c = 1; c <= 0xFF; ++c) {
        const std::string in(1, static_cast<char>(c));
        bool incomplete = false;
        const std::optional<std::string> out = convertCharacter(cd, in, &incomplete);
        const bool oneCharacter = out && !out->empty() && decodeUtf8(*out, 0).length == out->size();
        if (c < 0x80 ? out != in : incomplete || (out && !oneCharacter)) {
            return false;
        }
        if (c >= 0x80 && out) {
            high[c - 0x80] = *out;
        }
    }
    return true;
}

std::string describe(std::string_view sequence, uint32_t codePoint) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(codePoint));
    if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) {
        return number;
    }
    return std::string(number) + " \"" + std::string(sequence) + "\"";
}

#if TOLVANE_WIDE_DECODE
#define TOLVANE_WIDE_TARGET "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi2,popcnt"

bool wideDecodeRuns() {
    return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
           __builtin_cpu_supports("bmi2");
}

// Sixteen bytes at a time without a branch: each byte looks up its three UTF-8 bytes in the
// planes (ASCII keeps its own), the three are laid side by side, and the ones a character does
// not use are squeezed out. Looks up 64 bytes at once, the last ones through a masked load that
// reads nothing past the text; writes up to 64 bytes past the result.
__attribute__((target(TOLVANE_WIDE_TARGET))) char* decodeWide(const char* in, size_t n, char* to,
                                                              const uint8_t* planes) {
    // Output byte 3i takes the first byte of character i, 3i + 1 its second (64 + i picks from
    // the second vector), 3i + 2 its third (i again, from the third vector); characters
    // 16k to 16k + 15 add 16k.
    alignas(64) static const auto spread = [] {
        std::array<uint8_t, 64> order{};
        for (uint8_t i = 0; i < 16; ++i) {
            order[3 * i] = i;
            order[3 * i + 1] = static_cast<uint8_t>(64 + i);
            order[3 * i + 2] = i;
        }
        return order;
    }();
    constexpr uint64_t kFirsts = 0x249249249249u;
    constexpr uint64_t kSeconds = kFirsts << 1;
    constexpr uint64_t kThirds = kFirsts << 2;
    const __m512i order = _mm512_load_si512(spread.data());
    const __m512i firstLow = _mm512_loadu_si512(planes);
    const __m512i firstHigh = _mm512_loadu_si512(planes + 64);
    const __m512i secondLow = _mm512_loadu_si512(planes + 128);
    const __m512i secondHigh = _mm512_loadu_si512(planes + 192);
    const __m512i thirdLow = _mm512_loadu_si512(planes + 256);
    const __m512i thirdHigh = _mm512_loadu_si512(planes + 320);
    for (size_t done = 0; done < n; done += 64) {
        const size_t left = n - done;
        const uint64_t valid = left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
        const __m512i bytes = _mm512_maskz_loadu_epi8(valid, in + done);
        const __mmask64 high = _mm512_movepi8_mask(bytes);
        const __m512i first = _mm512_mask2_permutex2var_epi8(firstLow, bytes, high, firstHigh);
        const __m512i second = _mm512_permutex2var_epi8(secondLow, bytes, secondHigh);
        const __m512i third = _mm512_permutex2var_epi8(thirdLow, bytes, thirdHigh);
        const uint64_t two = _mm512_mask_test_epi8_mask(high, second, second);
        const uint64_t three = _mm512_mask_test_epi8_mask(high, third, third);
        for (unsigned k = 0; k < 4; ++k) {
            const unsigned shift = 16 * k;
            const __m512i at = _mm512_add_epi8(order, _mm512_set1_epi8(static_cast<char>(shift)));
            __m512i side = _mm512_permutex2var_epi8(first, at, second);
            side = _mm512_mask_permutexvar_epi8(side, kThirds, at, third);
            const uint64_t keep = _pdep_u64((valid >> shift) & 0xFFFF, kFirsts) |
                                  _pdep_u64((two >> shift) & 0xFFFF, kSeconds) |
                                  _pdep_u64((three >> shift) & 0xFFFF, kThirds);
            _mm512_storeu_si512(to, _mm512_maskz_compress_epi8(keep, side));
            to += _mm_popcnt_u64(keep);
        }
    }
    return to;
}

bool runCopyRuns() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
}

__attribute__((target("avx2"))) inline void copy32(char* to, const char* from) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
}

// Texts 64 bytes at a time: a block of ASCII is copied whole; in a block with bytes from 0x80
// up, the run before each such byte is copied with 32-byte stores (a second one only for a run
// longer than 32) and the byte itself from its table entry. The positions come from the
// block's mask, so no step waits for the one before it. Stops 128 bytes before the end (each
// block reads up to 64 bytes past itself); writes up to 64 bytes past the result.
__attribute__((target("avx2,bmi"))) void decodeRuns(const char*& in, const char* end, char*& to,
                                                    const std::array<char, 4>* utf8,
                                                    const uint8_t* length) {
    const char* from = in;
    char* out = to;
    while (end - from >= 128) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 32));
        uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(low)) |
                        uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(high))} << 32;
        size_t last = 0;
        while (mask != 0) {
            const size_t at = _tzcnt_u64(mask);
            copy32(out, from + last);
            if (at - last > 32) {
                copy32(out + 32, from + last + 32);
            }
            out += at - last;
            const auto c = static_cast<unsigned char>(from[at]);
            std::memcpy(out, utf8[c].data(), 4);
            out += length[c];
            last = at + 1;
            mask = _blsr_u64(mask);
        }
        copy32(out, from + last);
        copy32(out + 32, from + last + 32);
        out += 64 - last;
        from += 64;
    }
    in = from;
    to = out;
}
#endif

} // namespace

struct CodepageDecoder::Converter {
    IconvHandle cd;
};

bool isKnownCodepage(const std::string& codepage) {
    return !codepage.empty() && openIconv(codepage, "UTF-8") && openIconv("UTF-8", codepage);
}

std::string toUtf8(std::string_view bytes, const std::string& codepage) {
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    return CodepageDecoder(codepage).toUtf8(bytes);
}

CodepageDecoder::CodepageDecoder(const std::string& codepage, Vectors vectors) {
    IconvHandle cd = openIconv("UTF-8", codepage);
    if (!cd) {
        known_ = false;
        cd = openIconv("UTF-8", "CP1252");
    }
    std::array<std::string, 128> high;
    high.fill("\xEF\xBF\xBD");
    if (cd && !decodesByteByByte(cd.get(), high)) {
        converter_ = std::make_unique<Converter>(Converter{std::move(cd)});
    }
    for (size_t c = 0; c < utf8_.size(); ++c) {
        // One character of UTF-8 takes at most 4 bytes.
        const std::string one = c < 0x80 ? std::string(1, static_cast<char>(c)) : high[c - 0x80];
        length_[c] = static_cast<uint8_t>(one.size());
        maxLength_ = std::max<size_t>(maxLength_, one.size());
        std::copy(one.begin(), one.end(), utf8_[c].begin());
    }
#if TOLVANE_WIDE_DECODE
    if (vectors == Vectors::Widest && !converter_ && maxLength_ <= 3 && wideDecodeRuns()) {
        planes_.assign(3 * 128, 0);
        for (size_t c = 0x80; c < 0x100; ++c) {
            for (size_t k = 0; k < length_[c]; ++k) {
                planes_[k * 128 + c - 0x80] = static_cast<uint8_t>(utf8_[c][k]);
            }
        }
    }
    runs_ = vectors != Vectors::None && !converter_ && runCopyRuns();
#else
    (void)vectors;
#endif
}

CodepageDecoder::~CodepageDecoder() = default;

std::string CodepageDecoder::toUtf8(std::string_view bytes) const {
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    return decode(bytes);
}

std::string CodepageDecoder::decode(std::string_view bytes) const {
    std::string out;
    decodeInto(bytes, out);
    return out;
}

void CodepageDecoder::decodeInto(std::string_view bytes, std::string& out) const {
    if (!converter_) {
        decodeByTable(bytes, out);
        return;
    }
    out.clear();
    out.reserve(bytes.size() + bytes.size() / 2);
    // The whole text through iconv; a byte that starts no character it knows becomes U+FFFD,
    // and decoding goes on after it.
    const auto cd = static_cast<iconv_t>(converter_->cd.get());
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string input(bytes);
    char* inPtr = input.data();
    size_t inLeft = input.size();
    char buffer[256];
    while (true) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const bool done = inLeft == 0;
        const size_t rc = done ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                               : iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(buffer, sizeof buffer - outLeft);
        if (done) {
            return;
        }
        if (rc == kFailed && error != E2BIG) {
            outPtr = buffer;
            outLeft = sizeof buffer;
            iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
            out.append(buffer, sizeof buffer - outLeft);
            appendUtf8(out, kReplacement);
            ++inPtr;
            --inLeft;
        }
    }
}

void CodepageDecoder::decodeByTable(std::string_view bytes, std::string& out) const {
    // Byte by byte, so that a byte the code page leaves undefined costs only itself. ASCII is
    // copied eight bytes at a time up to the next byte from 0x80 up, which stores the 4 bytes
    // of its table entry and moves on by its length; where the processor has the vector
    // instructions, they decode the whole text instead, or all but its last bytes. The scratch
    // buffer has room for the longest result and the last stores; a string that size would be
    // filled with zeros first.
    const size_t room = bytes.size() * maxLength_ + 64;
    if (scratch_.size() < room) {
        scratch_.resize(std::max(room, 2 * scratch_.size()));
    }
    const char* in = bytes.data();
    const char* const end = in + bytes.size();
    char* const start = scratch_.data();
    char* to = start;
#if TOLVANE_WIDE_DECODE
    if (!planes_.empty()) {
        to = decodeWide(in, bytes.size(), to, planes_.data());
        in = end;
    } else if (runs_) {
        decodeRuns(in, end, to, utf8_.data(), length_.data());
    }
#endif
    while (end - in >= 8) {
        uint64_t eight = 0;
        std::memcpy(&eight, in, 8);
        std::memcpy(to, in, 8);
        const uint64_t high = eight & 0x8080808080808080u;
        if (high == 0) {
            in += 8;
            to += 8;
            continue;
        }
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        const int ascii = __builtin_ctzll(high) / 8;
#else
        const int ascii = __builtin_clzll(high) / 8;
#endif
        in += ascii;
        to += ascii;
        const auto c = static_cast<unsigned char>(*in++);
        std::memcpy(to, utf8_[c].data(), 4);
        to += length_[c];
    }
    for (; in != end; ++in) {
        const auto c = static_cast<unsigned char>(*in);
        std::memcpy(to, utf8_[c].data(), 4);
        to += length_[c];
    }
    out.assign(start, static_cast<size_t>(to - start));
}

std::optional<std::string> fromUtf8(std::string_view text, const std::string& codepage,
                                    std::string& problem) {
    IconvHandle cd = openIconv(codepage, "UTF-8");
    if (!cd) {
        problem = "unknown code page " + codepage;
        return std::nullopt;
    }
    // One character at a time, so that the one the code page lacks can be named.
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const Utf8Char c = decodeUtf8(text, i);
        if (!c.valid) {
            problem = "expected UTF-8 text, found a malformed byte sequence";
            return std::nullopt;
        }
        bool incomplete = false;
        const std::optional<std::string> bytes =
            convertCharacter(cd.get(), text.substr(i, c.length), &incomplete);
        if (!bytes) {
            problem = describe(text.substr(i, c.length), c.codePoint) + " cannot be written in " +
                      codepage;
            return std::nullopt;
        }
        out += *bytes;
        i += c.length;
    }
    return out;
}

} // namespace text
