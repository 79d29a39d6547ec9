// Time from the end of a choice's sound to the next page on the screen, on the real X server.
//
//   orlido-page-timer --log FILE --sound-ms N --choose X,Y --back X,Y [--rounds R]
//
// Runs beside the board built with the sound of fixed length (bench/timed_sound.cpp), which
// appends "sync START END RETURNED" to FILE for every sound played to its end. Each round
// clicks the picture at --choose (a picture with a sub-page), then "Tillbaka" at --back. From
// shortly before the sound can end, it reads two rows of the screen (through the middle of
// both rows of pictures) every few hundred microseconds; the page is on the screen at the
// first read after which the rows no longer change. Its delay is measured from END, the
// moment the sound has been heard to its end. Prints every round, then the median and the
// largest delay of each kind and both as a share of one 60 Hz frame. Sets no pass or fail.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFrameMs = 1000.0 / 60.0;
// Reading starts this long before the sound can end at the earliest.
constexpr auto kLeadIn = std::chrono::milliseconds(40);
// The page counts as shown once the rows have stayed the same this long after the end.
constexpr auto kSettle = std::chrono::milliseconds(400);
constexpr auto kPollGap = std::chrono::microseconds(200);
constexpr auto kGiveUpAfterSound = std::chrono::seconds(5);

struct Point {
    int x = 0;
    int y = 0;
};

struct Options {
    std::string log;
    int soundMs = 1000;
    int rounds = 10;
    Point choose;
    Point back;
};

struct SoundEnd {
    long long endNs = 0;
    long long returnedNs = 0;
};

struct Measurement {
    double delayMs = 0;     // sound end -> page on the screen
    double returnedMs = 0;  // sound end -> the board went on after the sound
    // How long before the read that saw the page the previous read ended: the page came
    // within that time (longer than a poll when this tool itself was kept waiting for the
    // processor).
    double uncertaintyMs = 0;
    std::uint64_t page = 0;
};

long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

bool ParsePoint(const char* text, Point& point)
{
    return std::sscanf(text, "%d,%d", &point.x, &point.y) == 2;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--log")
            options.log = value;
        else if (key == "--sound-ms")
            options.soundMs = std::atoi(value);
        else if (key == "--rounds")
            options.rounds = std::atoi(value);
        else if (key == "--choose" && ParsePoint(value, options.choose))
            continue;
        else if (key == "--back" && ParsePoint(value, options.back))
            continue;
        else
            return false;
    }
    return !options.log.empty() && options.soundMs > 0 && options.rounds > 0 &&
        options.choose.x > 0 && options.back.x > 0;
}

std::uintmax_t FileSize(const std::string& path)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    return file ? static_cast<std::uintmax_t>(file.tellg()) : 0;
}

// The first complete "sync" line written after offset.
std::optional<SoundEnd> ReadSoundEnd(const std::string& path, std::uintmax_t offset)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    file.seekg(static_cast<std::streamoff>(offset));
    std::string line;
    while (std::getline(file, line)) {
        if (file.eof())
            break;  // no newline yet: not written whole
        long long start = 0;
        SoundEnd end;
        if (std::sscanf(line.c_str(), "sync %lld %lld %lld", &start, &end.endNs, &end.returnedNs) ==
            3)
            return end;
    }
    return std::nullopt;
}

class ScreenProbe {
public:
    explicit ScreenProbe(Display* display) : m_Display(display), m_Root(DefaultRootWindow(display))
    {
        const int screen = DefaultScreen(display);
        m_Width = DisplayWidth(display, screen);
        m_Height = DisplayHeight(display, screen);
    }

    // FNV-1a over the rows at the given heights.
    std::uint64_t Rows(const std::vector<int>& ys)
    {
        std::uint64_t hash = 1469598103934665603ULL;
        for (int y : ys) {
            XImage* image = XGetImage(m_Display, m_Root, 0, y, static_cast<unsigned>(m_Width), 1,
                                      AllPlanes, ZPixmap);
            if (!image)
                continue;
            const auto* bytes = reinterpret_cast<const unsigned char*>(image->data);
            const int length = image->bytes_per_line;
            for (int i = 0; i < length; ++i)
                hash = (hash ^ bytes[i]) * 1099511628211ULL;
            XDestroyImage(image);
        }
        return hash;
    }

    void Click(Point p)
    {
        XTestFakeMotionEvent(m_Display, -1, p.x, p.y, 0);
        XTestFakeButtonEvent(m_Display, 1, True, 0);
        XTestFakeButtonEvent(m_Display, 1, False, 0);
        XFlush(m_Display);
    }

    int Width() const { return m_Width; }
    int Height() const { return m_Height; }

private:
    Display* m_Display;
    Window m_Root;
    int m_Width = 0;
    int m_Height = 0;
};

// Clicks the point and times the page that follows the sound the click starts.
std::optional<Measurement> MeasureChoice(ScreenProbe& screen, const Options& options, Point point,
                                         const std::vector<int>& rows, const char* what)
{
    const std::uintmax_t offset = FileSize(options.log);
    const auto clicked = Clock::now();
    screen.Click(point);
    std::this_thread::sleep_until(clicked + std::chrono::milliseconds(options.soundMs) - kLeadIn);

    const std::uint64_t before = screen.Rows(rows);
    std::uint64_t current = before;
    long long changedNs = 0;
    long long previousReadEndNs = NowNs();
    long long changeUncertaintyNs = 0;
    std::optional<SoundEnd> end;
    const auto giveUp = clicked + std::chrono::milliseconds(options.soundMs) + kGiveUpAfterSound;
    while (Clock::now() < giveUp) {
        const long long readNs = NowNs();
        const std::uint64_t rowsNow = screen.Rows(rows);
        if (rowsNow != current) {
            current = rowsNow;
            changedNs = readNs;
            changeUncertaintyNs = readNs - previousReadEndNs;
        }
        previousReadEndNs = NowNs();
        if (!end)
            end = ReadSoundEnd(options.log, offset);
        const long long settle =
            std::chrono::duration_cast<std::chrono::nanoseconds>(kSettle).count();
        if (end && readNs > end->endNs + settle && readNs > changedNs + settle)
            break;
        std::this_thread::sleep_for(kPollGap);
    }
    if (!end) {
        std::fprintf(stderr, "page-timer: %s: no sound played to its end was logged\n", what);
        return std::nullopt;
    }
    if (current == before) {
        std::fprintf(stderr, "page-timer: %s: the screen did not change after the sound\n", what);
        return std::nullopt;
    }
    Measurement m;
    m.delayMs = static_cast<double>(changedNs - end->endNs) / 1e6;
    m.returnedMs = static_cast<double>(end->returnedNs - end->endNs) / 1e6;
    m.uncertaintyMs = static_cast<double>(changeUncertaintyNs) / 1e6;
    m.page = current;
    return m;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Summarise(const char* what, const std::vector<Measurement>& measurements)
{
    std::vector<double> delays;
    std::vector<double> returns;
    for (const Measurement& m : measurements) {
        delays.push_back(m.delayMs);
        returns.push_back(m.returnedMs);
    }
    if (delays.empty())
        return;
    const double median = Median(delays);
    const double largest = *std::max_element(delays.begin(), delays.end());
    const auto late =
        std::count_if(delays.begin(), delays.end(), [](double ms) { return ms > kFrameMs; });
    std::printf(
        "%-9s sound end -> page on the screen: median %.1f ms, max %.1f ms (%zu rounds, %td later "
        "than "
        "a frame); ÷ one 60 Hz frame (16.7 ms): median %.2f, max %.2f (aim: max at most 1)\n",
        what, median, largest, delays.size(), late, median / kFrameMs, largest / kFrameMs);
    std::printf("%-9s of which the sound's wait ending late: median %.1f ms\n", what,
                Median(returns));
    // One line for the summary of every aim (scripts/run-bench).
    std::printf("AIM sound end -> %s on the screen (median / max over %zu) | %.2f / %.2f of a "
                "60 Hz frame (%.1f / %.1f ms) | max at most 1\n",
                what, delays.size(), median / kFrameMs, largest / kFrameMs, median, largest);
    // A late read (this tool waiting for the processor on a loaded machine) makes a page look
    // later than it was: the largest delay is given with the gap of the read that saw it.
    const auto worst = std::max_element(
        measurements.begin(), measurements.end(),
        [](const Measurement& a, const Measurement& b) { return a.delayMs < b.delayMs; });
    std::printf(
        "%-9s the largest delay was seen by a read %.1f ms after the one before it: the page came "
        "between %.1f and %.1f ms\n",
        what, worst->uncertaintyMs, std::max(0.0, worst->delayMs - worst->uncertaintyMs),
        worst->delayMs);
}

// The same page must come back every round: a differing page is reported, not hidden.
void CheckSamePage(const char* what, const std::vector<Measurement>& measurements)
{
    for (const Measurement& m : measurements) {
        if (m.page != measurements.front().page) {
            std::printf("%-9s warning: the page on the screen differed between rounds\n", what);
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: orlido-page-timer --log FILE --sound-ms N --choose X,Y --back X,Y "
                     "[--rounds R]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "page-timer: no display\n");
        return 1;
    }
    ScreenProbe screen(display);
    // Through the middle of both rows of pictures (the page's upper nine tenths, in halves).
    const int pictureHeight = screen.Height() * 45 / 100;
    const std::vector<int> rows{ 5 + pictureHeight / 2, 13 + pictureHeight + pictureHeight / 2 };

    std::vector<Measurement> downs;
    std::vector<Measurement> backs;
    for (int round = 0; round < options.rounds; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto down = MeasureChoice(screen, options, options.choose, rows, "sub-page");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto back = MeasureChoice(screen, options, options.back, rows, "Tillbaka");
        if (!down || !back) {
            XCloseDisplay(display);
            return 1;
        }
        std::printf("round %2d: sub-page %6.1f ms (read %.1f ms after the one before), Tillbaka "
                    "%6.1f ms (%.1f ms)\n",
                    round + 1, down->delayMs, down->uncertaintyMs, back->delayMs,
                    back->uncertaintyMs);
        downs.push_back(*down);
        backs.push_back(*back);
    }
    Summarise("sub-page", downs);
    Summarise("Tillbaka", backs);
    CheckSamePage("sub-page", downs);
    CheckSamePage("Tillbaka", backs);
    XCloseDisplay(display);
    return 0;
}
