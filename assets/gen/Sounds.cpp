// Wave sounds (16-bit mono, 22050 Hz), synthesised: turn chimes, a door,
// two footsteps and the die.
#include "Art.h"
#include "Common.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace gen {
namespace {

constexpr int Rate = 22050;
constexpr double Pi = 3.14159265358979323846;

using Buffer = std::vector<double>;

Buffer Silence(double seconds) { return Buffer(size_t(seconds * Rate), 0.0); }

// A bell-like tone: a few inharmonic partials with exponential decay.
void Bell(Buffer& b, double start, double freq, double gain, double decay)
{
    static const double partials[4][2] = {{1.0, 1.0}, {2.01, 0.45}, {3.0, 0.18}, {4.17, 0.08}};
    const size_t s0 = size_t(start * Rate);
    for (size_t i = s0; i < b.size(); ++i) {
        const double t = double(i - s0) / Rate;
        const double attack = std::min(1.0, t / 0.004);
        double v = 0;
        for (const auto& pr : partials)
            v += pr[1] * std::sin(2 * Pi * freq * pr[0] * t) * std::exp(-t * decay * pr[0]);
        b[i] += gain * attack * v;
    }
}

// A filtered noise burst (one-pole low-pass), for knocks and steps.
void Thump(Buffer& b, double start, double length, double cutoff, double gain, double bodyFreq, Rng& rng)
{
    const size_t s0 = size_t(start * Rate), n = size_t(length * Rate);
    const double a = std::exp(-2 * Pi * cutoff / Rate);
    double lp = 0;
    for (size_t i = 0; i < n && s0 + i < b.size(); ++i) {
        const double t = double(i) / Rate;
        const double env = std::min(1.0, t / 0.002) * std::exp(-t / (length * 0.25));
        const double noise = rng.Unit() * 2 - 1;
        lp = a * lp + (1 - a) * noise;
        b[s0 + i] += gain * env * (lp * 3 + 0.6 * std::sin(2 * Pi * bodyFreq * t));
    }
}

// Die clicks: a short bright noise tick ringing at a wooden resonance.
void Click(Buffer& b, double start, double gain, double freq, Rng& rng)
{
    const size_t s0 = size_t(start * Rate);
    for (size_t i = 0; i < size_t(0.05 * Rate) && s0 + i < b.size(); ++i) {
        const double t = double(i) / Rate;
        const double noise = (rng.Unit() * 2 - 1) * std::exp(-t / 0.002);
        b[s0 + i] += gain * (noise * 0.8 + std::sin(2 * Pi * freq * t) * std::exp(-t / 0.012));
    }
}

std::vector<int16_t> Finish(const Buffer& b, double peak = 0.8)
{
    double m = 1e-9;
    for (double v : b)
        m = std::max(m, std::abs(v));
    std::vector<int16_t> out(b.size());
    const size_t fade = std::min<size_t>(b.size(), Rate / 100);
    for (size_t i = 0; i < b.size(); ++i) {
        double v = b[i] / m * peak;
        if (i + fade >= b.size())
            v *= double(b.size() - i) / fade;  // no click at the end
        out[i] = int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
    }
    return out;
}

}  // namespace

void MakeSounds(const std::string& out)
{
    const std::string dir = out + "/res/sounds/";
    {  // your turn: two bright bell notes, up a fifth
        Buffer b = Silence(0.9);
        Bell(b, 0.0, 1318.5, 1.0, 5);
        Bell(b, 0.12, 1975.5, 0.9, 5);
        SaveWav(dir + "CHECKSND.wav", Finish(b), Rate);
    }
    {  // confirm: three soft notes rising
        Buffer b = Silence(0.8);
        Bell(b, 0.0, 784.0, 0.8, 7);
        Bell(b, 0.1, 987.8, 0.8, 7);
        Bell(b, 0.2, 1174.7, 0.9, 6);
        SaveWav(dir + "CHECKSND2.wav", Finish(b, 0.7), Rate);
    }
    {  // a door: latch click, a short creak, the door closing
        Buffer b = Silence(0.7);
        Rng rng(11);
        Click(b, 0.0, 0.5, 2400, rng);
        const size_t c0 = size_t(0.05 * Rate), cn = size_t(0.32 * Rate);
        double phase = 0;
        for (size_t i = 0; i < cn; ++i) {
            const double t = double(i) / Rate;
            const double f = 420 + 260 * std::sin(t * 9) + 40 * std::sin(t * 53);
            phase += 2 * Pi * f / Rate;
            const double pulse = std::pow(std::max(0.0, std::sin(phase)), 9.0);
            b[c0 + i] += 0.35 * pulse * std::sin(Pi * t / 0.32);
        }
        Thump(b, 0.42, 0.22, 500, 0.9, 80, rng);
        SaveWav(dir + "DOORSND1.wav", Finish(b, 0.75), Rate);
    }
    {  // footsteps: heel and toe, two slightly different shoes
        Rng rng(21);
        Buffer a = Silence(0.2);
        Thump(a, 0.0, 0.06, 1800, 0.9, 150, rng);
        Thump(a, 0.045, 0.08, 1200, 0.6, 120, rng);
        SaveWav(dir + "FOOTSND1.wav", Finish(a, 0.6), Rate);
        Buffer b = Silence(0.2);
        Thump(b, 0.0, 0.06, 1500, 0.9, 135, rng);
        Thump(b, 0.05, 0.08, 1000, 0.55, 110, rng);
        SaveWav(dir + "FOOTSND2.wav", Finish(b, 0.6), Rate);
    }
    {  // the die rattling in a cup and landing
        Buffer b = Silence(0.75);
        Rng rng(31);
        double t = 0.0;
        for (int i = 0; i < 14; ++i) {
            t += 0.02 + rng.Unit() * 0.03;
            Click(b, t, 0.4 + rng.Unit() * 0.4, 1800 + rng.Unit() * 1400, rng);
        }
        Click(b, t + 0.09, 1.0, 1500, rng);
        Click(b, t + 0.16, 0.5, 1700, rng);
        Click(b, t + 0.2, 0.25, 1600, rng);
        SaveWav(dir + "SAISND.wav", Finish(b, 0.7), Rate);
    }
}

}  // namespace gen
