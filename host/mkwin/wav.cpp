#include "wav.h"

namespace mkwin {

namespace {

void appendLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

} // namespace

std::string beepWav(uint32_t tone) {
    // A triangle wave in integers: the same bytes on every machine.
    const uint32_t period = 8 + 2 * (tone % 8); // 1000 Hz down to about 364 Hz
    const uint32_t half = period / 2;
    std::string samples;
    samples.reserve(kBeepSamples);
    for (size_t n = 0; n < kBeepSamples; ++n) {
        const uint32_t phase = static_cast<uint32_t>(n % period);
        const uint32_t ramp = phase < half ? phase : period - phase; // 0 .. half
        const int amplitude = 96 * static_cast<int>(2 * ramp) / static_cast<int>(half) - 96;
        // Soft edges, so the beep does not click.
        const size_t edge = n < 40 ? n : (kBeepSamples - n <= 40 ? kBeepSamples - n : 40);
        samples += static_cast<char>(128 + amplitude * static_cast<int>(edge) / 40);
    }

    std::string wav;
    wav.reserve(kWavHeaderSize + samples.size());
    wav += "RIFF";
    appendLe(wav, static_cast<uint32_t>(36 + samples.size()), 4);
    wav += "WAVE";
    wav += "fmt ";
    appendLe(wav, 16, 4);              // format chunk size
    appendLe(wav, 1, 2);               // PCM
    appendLe(wav, 1, 2);               // mono
    appendLe(wav, kBeepSampleRate, 4); // samples per second
    appendLe(wav, kBeepSampleRate, 4); // bytes per second
    appendLe(wav, 1, 2);               // block align
    appendLe(wav, 8, 2);               // bits per sample
    wav += "data";
    appendLe(wav, static_cast<uint32_t>(samples.size()), 4);
    wav += samples;
    return wav;
}

} // namespace mkwin
