#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mkwin {

/// Sample rate of beepWav(): 8 kHz, 8-bit unsigned PCM, one channel.
constexpr uint32_t kBeepSampleRate = 8000;
/// Samples in beepWav(): a twentieth of a second.
constexpr size_t kBeepSamples = 400;
/// Size of the canonical WAV header (RIFF, "fmt " and "data" chunk headers).
constexpr size_t kWavHeaderSize = 44;

/// A short beep as a complete WAV file (RIFF/WAVE, PCM). `tone` picks one of eight pitches, so
/// that different sounds give different files; equal tones give equal bytes.
std::string beepWav(uint32_t tone);

} // namespace mkwin
