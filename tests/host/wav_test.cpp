#include "wav.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

uint32_t le(const std::string& b, size_t at, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        v |= static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + i))) << (8 * i);
    }
    return v;
}

TEST(BeepWav, IsACanonicalPcmWaveFile) {
    const std::string wav = mkwin::beepWav(0);
    ASSERT_EQ(wav.size(), mkwin::kWavHeaderSize + mkwin::kBeepSamples);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(le(wav, 4, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le(wav, 16, 4), 16u);                    // format chunk size
    EXPECT_EQ(le(wav, 20, 2), 1u);                     // PCM
    EXPECT_EQ(le(wav, 22, 2), 1u);                     // mono
    EXPECT_EQ(le(wav, 24, 4), mkwin::kBeepSampleRate); // samples per second
    EXPECT_EQ(le(wav, 28, 4), mkwin::kBeepSampleRate); // bytes per second
    EXPECT_EQ(le(wav, 32, 2), 1u);                     // block align
    EXPECT_EQ(le(wav, 34, 2), 8u);                     // bits per sample
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(le(wav, 40, 4), mkwin::kBeepSamples);
}

TEST(BeepWav, IsAnAudibleBeepThatStartsAndEndsInSilence) {
    for (uint32_t tone = 0; tone < 8; ++tone) {
        const std::string wav = mkwin::beepWav(tone);
        int low = 255;
        int high = 0;
        for (size_t i = mkwin::kWavHeaderSize; i < wav.size(); ++i) {
            const int s = static_cast<unsigned char>(wav[i]);
            low = std::min(low, s);
            high = std::max(high, s);
        }
        EXPECT_LT(low, 64) << tone;
        EXPECT_GT(high, 192) << tone;
        EXPECT_EQ(static_cast<unsigned char>(wav[mkwin::kWavHeaderSize]), 128) << tone;
        EXPECT_NEAR(static_cast<unsigned char>(wav.back()), 128, 3) << tone;
    }
}

TEST(BeepWav, TonesGiveEightDifferentFilesAndRepeatExactly) {
    std::set<std::string> files;
    for (uint32_t tone = 0; tone < 16; ++tone) {
        files.insert(mkwin::beepWav(tone));
        EXPECT_EQ(mkwin::beepWav(tone), mkwin::beepWav(tone + 8));
    }
    EXPECT_EQ(files.size(), 8u);
}

} // namespace
