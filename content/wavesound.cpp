#include "content/wavesound.h"

#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

constexpr int kMinSilenceLevel = 32;
constexpr int kSilenceFraction = 100;  // silence: below the loudest sample / 100 (-40 dB)
constexpr int kMaxChannels = 8;
constexpr int kLowestRate = 4000;
constexpr int kHighestRate = 192000;

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

std::uint32_t Little32(std::string_view bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

std::uint16_t Little16(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

void PutLittle(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

struct TFormat {
    std::uint16_t Tag = 0;
    int Channels = 0;
    int Rate = 0;
    int BitsPerSample = 0;
    int BlockAlign = 0;
};

bool ReadFormat(std::string_view chunk, TFormat& format, std::string& error)
{
    if (chunk.size() < 16) {
        error = "its format chunk is too short";
        return false;
    }
    format.Tag = Little16(chunk, 0);
    format.Channels = Little16(chunk, 2);
    format.Rate = static_cast<int>(std::min<std::uint32_t>(Little32(chunk, 4), 0x7FFFFFFF));
    format.BlockAlign = Little16(chunk, 12);
    format.BitsPerSample = Little16(chunk, 14);
    // WAVE_FORMAT_EXTENSIBLE names the real format in the first two bytes of its sub-format.
    if (format.Tag == kFormatExtensible && chunk.size() >= 26)
        format.Tag = Little16(chunk, 24);
    const bool pcm = format.Tag == kFormatPcm &&
        (format.BitsPerSample == 8 || format.BitsPerSample == 16 || format.BitsPerSample == 24 ||
         format.BitsPerSample == 32);
    const bool floats = format.Tag == kFormatFloat && format.BitsPerSample == 32;
    if (!pcm && !floats) {
        error = "its samples are not PCM of 8, 16, 24 or 32 bits or 32-bit float";
        return false;
    }
    if (format.Channels < 1 || format.Channels > kMaxChannels) {
        error = "it has " + std::to_string(format.Channels) + " channels";
        return false;
    }
    if (format.Rate < kLowestRate || format.Rate > kHighestRate) {
        error = "its sample rate " + std::to_string(format.Rate) + " Hz is out of range";
        return false;
    }
    if (format.BlockAlign != format.Channels * format.BitsPerSample / 8) {
        error = "its format chunk contradicts itself";
        return false;
    }
    return true;
}

// One sample as a value from -1 to 1.
double SampleValue(std::string_view data, std::size_t at, const TFormat& format)
{
    switch (format.BitsPerSample) {
    case 8:
        return (static_cast<unsigned char>(data[at]) - 128) / 128.0;
    case 16:
        return static_cast<std::int16_t>(Little16(data, at)) / 32768.0;
    case 24: {
        const std::uint32_t raw = static_cast<unsigned char>(data[at]) |
            (static_cast<unsigned char>(data[at + 1]) << 8) |
            (static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 2])) << 16);
        const std::int32_t value = static_cast<std::int32_t>(raw << 8) >> 8;
        return value / 8388608.0;
    }
    default:
        if (format.Tag == kFormatFloat) {
            const std::uint32_t raw = Little32(data, at);
            float value = 0;
            std::memcpy(&value, &raw, sizeof value);
            return std::isfinite(value) ? value : 0.0;
        }
        return static_cast<std::int32_t>(Little32(data, at)) / 2147483648.0;
    }
}

std::int16_t ToSample(double value)
{
    return static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
}

// Makes a new empty file with a hidden name beside the target, which no reader of content
// takes for a picture or a sound ("." + name + a random part + suffix), with the usual
// permissions of new files. Returns its descriptor (-1 on failure) and its path.
int CreateHiddenFile(const std::string& folder, const std::string& name, const std::string& suffix,
                     std::string& path)
{
    static std::atomic<unsigned> counter{ 0 };
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char part[32];
        std::snprintf(part, sizeof part, ".%d-%08x-%u", static_cast<int>(::getpid()), random(),
                      counter++);
        path = folder + "/." + name + part + suffix;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The target's folder resolved without regard to case, and its name.
void SplitTarget(const std::wstring& path, std::string& folder, std::string& name)
{
    const std::string target = platform::ToUtf8(path);
    const std::size_t slash = target.rfind('/');
    const std::string given =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    folder = platform::ToUtf8(platform::ResolvePath(platform::FromUtf8(given)));
    name = slash == std::string::npos ? target : target.substr(slash + 1);
}

// Writes all bytes to fd and flushes them to the disk, so that the name given next never
// stands for a file whose bytes are still on their way.
bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0;
}

// Gives the complete temporary file its final name, unless that name is taken. Where the
// file system cannot rename without replacing (or link), the name is checked just before.
bool RenameWithoutReplacing(const std::string& from, const std::string& to, std::string& error)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST) {
        error = "a file of that name is there already";
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        error = std::strerror(errno);
        return false;
    }
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) {
        error = "a file of that name is there already";
        return false;
    }
    if (::access(to.c_str(), F_OK) == 0) {
        error = "a file of that name is there already";
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = std::strerror(errno);
    return false;
}

}  // namespace

CTQWaveSound::CTQWaveSound(int sampleRate, std::vector<std::int16_t> samples)
    : m_nSampleRate(sampleRate), m_Samples(std::move(samples))
{
}

int CTQWaveSound::GetDurationMs() const
{
    if (m_nSampleRate <= 0)
        return 0;
    return static_cast<int>(static_cast<std::int64_t>(m_Samples.size()) * 1000 / m_nSampleRate);
}

bool CTQWaveSound::Parse(std::string_view bytes, std::string& error)
{
    m_nSampleRate = 0;
    m_Samples.clear();
    if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE") {
        error = bytes.empty() ? "it is empty" : "it is not a WAV file";
        return false;
    }
    TFormat format;
    bool haveFormat = false;
    std::string_view data;
    bool haveData = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size() && !haveData) {
        const std::string_view id = bytes.substr(at, 4);
        // A writer that streams (to a pipe) cannot go back to fill in the sizes: a data
        // size past the end means "to the end".
        const std::size_t size =
            std::min<std::size_t>(Little32(bytes, at + 4), bytes.size() - at - 8);
        const std::string_view chunk = bytes.substr(at + 8, size);
        if (id == "fmt ") {
            if (!ReadFormat(chunk, format, error))
                return false;
            haveFormat = true;
        } else if (id == "data") {
            data = chunk;
            haveData = true;
        }
        at += 8 + size + (size % 2);
    }
    if (!haveFormat || !haveData) {
        error = haveFormat ? "it has no sound data" : "it has no format chunk";
        return false;
    }
    const std::size_t frames = data.size() / static_cast<std::size_t>(format.BlockAlign);
    if (frames == 0) {
        error = "it holds no samples";
        return false;
    }
    if (frames / static_cast<std::size_t>(format.Rate) >=
        static_cast<std::size_t>(MaxDurationMs / 1000)) {
        error = "it lasts longer than " + std::to_string(MaxDurationMs / 60000) + " minutes";
        return false;
    }
    const std::size_t sampleBytes = static_cast<std::size_t>(format.BitsPerSample / 8);
    m_Samples.reserve(frames);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        double sum = 0;
        for (int channel = 0; channel < format.Channels; ++channel)
            sum += SampleValue(data,
                               frame * static_cast<std::size_t>(format.BlockAlign) +
                                   static_cast<std::size_t>(channel) * sampleBytes,
                               format);
        m_Samples.push_back(ToSample(sum / format.Channels));
    }
    m_nSampleRate = format.Rate;
    return true;
}

bool CTQWaveSound::Read(const std::wstring& path, std::string& error)
{
    std::string bytes;
    if (!platform::ReadFileBytes(path, MaxFileBytes + 1, bytes)) {
        error = "it cannot be read";
        return false;
    }
    if (bytes.size() > MaxFileBytes) {
        error = "it is larger than " + std::to_string(MaxFileBytes / (1024 * 1024)) + " MiB";
        return false;
    }
    return Parse(bytes, error);
}

void CTQWaveSound::RaiseToMinSampleRate()
{
    if (m_nSampleRate <= 0 || m_nSampleRate >= MinSampleRate || m_Samples.empty())
        return;
    const std::size_t count = static_cast<std::size_t>(
        (static_cast<std::int64_t>(m_Samples.size()) * MinSampleRate + m_nSampleRate - 1) /
        m_nSampleRate);
    std::vector<std::int16_t> raised;
    raised.reserve(count);
    const double step = static_cast<double>(m_nSampleRate) / MinSampleRate;
    for (std::size_t i = 0; i < count; ++i) {
        const double position = static_cast<double>(i) * step;
        const std::size_t left = std::min(static_cast<std::size_t>(position), m_Samples.size() - 1);
        const std::size_t right = std::min(left + 1, m_Samples.size() - 1);
        const double part = position - static_cast<double>(left);
        raised.push_back(static_cast<std::int16_t>(
            std::lround(m_Samples[left] * (1 - part) + m_Samples[right] * part)));
    }
    m_Samples = std::move(raised);
    m_nSampleRate = MinSampleRate;
}

int CTQWaveSound::SilenceLevel() const
{
    int peak = 0;
    for (const std::int16_t sample : m_Samples)
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    return std::max(kMinSilenceLevel, peak / kSilenceFraction);
}

bool CTQWaveSound::IsSilent() const
{
    const int level = SilenceLevel();
    return std::none_of(m_Samples.begin(), m_Samples.end(), [level](std::int16_t sample) {
        return std::abs(static_cast<int>(sample)) > level;
    });
}

void CTQWaveSound::TrimSilence(int keepMs)
{
    const int level = SilenceLevel();
    const auto loud = [level](std::int16_t sample) {
        return std::abs(static_cast<int>(sample)) > level;
    };
    const auto first = std::find_if(m_Samples.begin(), m_Samples.end(), loud);
    if (first == m_Samples.end())
        return;  // nothing but silence: nothing to keep it around
    const auto last = std::find_if(m_Samples.rbegin(), m_Samples.rend(), loud).base();
    const std::ptrdiff_t keep =
        static_cast<std::ptrdiff_t>(static_cast<std::int64_t>(m_nSampleRate) * keepMs / 1000);
    const std::ptrdiff_t begin = std::max<std::ptrdiff_t>(0, (first - m_Samples.begin()) - keep);
    const std::ptrdiff_t end = std::min<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(m_Samples.size()), (last - m_Samples.begin()) + keep);
    m_Samples = std::vector<std::int16_t>(m_Samples.begin() + begin, m_Samples.begin() + end);
}

std::string CTQWaveSound::ToBytes() const
{
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(m_Samples.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    PutLittle(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    PutLittle(out, 16, 4);
    PutLittle(out, kFormatPcm, 2);
    PutLittle(out, 1, 2);  // one channel
    PutLittle(out, static_cast<std::uint32_t>(m_nSampleRate), 4);
    PutLittle(out, static_cast<std::uint32_t>(m_nSampleRate) * 2, 4);  // bytes per second
    PutLittle(out, 2, 2);                                              // bytes per frame
    PutLittle(out, 16, 2);
    out += "data";
    PutLittle(out, dataBytes, 4);
    for (const std::int16_t sample : m_Samples)
        PutLittle(out, static_cast<std::uint16_t>(sample), 2);
    return out;
}

std::wstring CTQWaveSound::MakeTemporaryFileBeside(const std::wstring& path,
                                                   const std::string& suffix)
{
    std::string folder;
    std::string name;
    SplitTarget(path, folder, name);
    std::string temporary;
    const int fd = CreateHiddenFile(folder, name, suffix, temporary);
    if (fd < 0)
        return {};
    ::close(fd);
    return platform::FromUtf8(temporary);
}

bool CTQWaveSound::WriteNew(const std::wstring& path, std::string& error) const
{
    if (platform::IsFile(path)) {
        error = "a file of that name is there already";
        return false;
    }
    std::string folder;
    std::string name;
    SplitTarget(path, folder, name);
    std::string temporary;
    const int fd = CreateHiddenFile(folder, name, "", temporary);
    if (fd < 0) {
        error = std::string("cannot write in its folder: ") + std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, ToBytes());
    const int writeErrno = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.c_str());
        error = std::string("cannot be written: ") + std::strerror(written ? errno : writeErrno);
        return false;
    }
    if (!RenameWithoutReplacing(temporary, folder + "/" + name, error)) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
