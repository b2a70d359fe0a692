// Start-up as a user sees it: how long after a program is started its page
// shows on the screen. Under an X server of its own with a white root
// window and no window manager, it starts each program in turn, polls the
// screen every few milliseconds (MIT-SHM) and counts its dark pixels; once
// the count has stood still for a while the program is ended. A run's first
// ink is the first poll whose count reached 80 % of the final count. The
// programs take turns, run after run, so that a change of load weighs on
// each alike; medians and spread are printed at the end.
//
//   quorvel-first-ink RUNS NAME=COMMAND... [NAME=COMMAND...]
//
// e.g. quorvel-first-ink 21 'quorvel=build/bin/quorvel' 'mupdf=mupdf page.pdf'
// (each COMMAND split at blanks). DISPLAY names the X server.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A pixel whose every channel is below this is ink; the viewers' grey
// backgrounds and frames stay above it.
constexpr unsigned Dark = 0x50;
constexpr double Share = 0.8;         // of the final count
constexpr auto Settled = 600ms;       // unchanged this long: the start is over
constexpr auto Longest = 10s;         // a start that takes longer failed
constexpr auto Between_Polls = 2ms; // a copy of the screen and a count take about as long

struct Program {
    std::string name;
    std::vector<std::string> argv;
    std::vector<double> first_ink_ms;
};

struct Screen_Poller {
    Display *display = nullptr;
    XImage *image = nullptr;
    XShmSegmentInfo shm{};

    bool Open()
    {
        display = XOpenDisplay(nullptr);
        if (!display || !XShmQueryExtension(display))
            return false;
        const int screen = DefaultScreen(display);
        image = XShmCreateImage(display, DefaultVisual(display, screen), unsigned(DefaultDepth(display, screen)),
                                ZPixmap, nullptr, &shm, unsigned(DisplayWidth(display, screen)),
                                unsigned(DisplayHeight(display, screen)));
        if (!image || image->bits_per_pixel != 32)
            return false;
        shm.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(image->height), IPC_CREAT | 0600);
        if (shm.shmid < 0)
            return false;
        shm.shmaddr = image->data = static_cast<char *>(shmat(shm.shmid, nullptr, 0));
        shm.readOnly = False;
        const bool attached = XShmAttach(display, &shm);
        XSync(display, False);
        shmctl(shm.shmid, IPC_RMID, nullptr); // gone once both sides detach
        return attached;
    }

    // Dark pixels on the screen now, every other one of every other row:
    // enough for a share of them, and quick to count.
    long Count()
    {
        XShmGetImage(display, DefaultRootWindow(display), image, 0, 0, AllPlanes);
        long dark = 0;
        for (int y = 0; y < image->height; y += 2) {
            const auto *row = reinterpret_cast<const unsigned *>(image->data + y * image->bytes_per_line);
            for (int x = 0; x < image->width; x += 2) {
                const unsigned p = row[x];
                dark += ((p >> 16) & 0xff) < Dark && ((p >> 8) & 0xff) < Dark && (p & 0xff) < Dark;
            }
        }
        return dark;
    }
};

pid_t Start(const std::vector<std::string> &argv)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char *> args;
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// One start of `program`: milliseconds to its first ink, or a negative
// number when it showed nothing or did not settle.
double One_Run(Screen_Poller &screen, const Program &program)
{
    // The screen is clear of the last program before the clock starts.
    for (auto until = Clock::now() + Longest; screen.Count() != 0;) {
        if (Clock::now() > until)
            return -1;
        std::this_thread::sleep_for(Between_Polls);
    }
    std::vector<std::pair<double, long>> polls;
    const auto start = Clock::now();
    const pid_t pid = Start(program.argv);
    long last = -1;
    auto changed = start;
    for (;;) {
        const long count = screen.Count();
        const auto now = Clock::now();
        polls.emplace_back(std::chrono::duration<double, std::milli>(now - start).count(), count);
        if (count != last)
            changed = now;
        last = count;
        if ((count > 0 && now - changed > Settled) || now - start > Longest)
            break;
        std::this_thread::sleep_for(Between_Polls);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    if (last <= 0 || Clock::now() - changed < Settled)
        return -1;
    for (const auto &[ms, count] : polls)
        if (double(count) >= Share * double(last))
            return ms;
    return -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    int runs = argc > 2 ? std::atoi(argv[1]) : 0;
    std::vector<Program> programs;
    for (int i = 2; i < argc; ++i) {
        const std::string named = argv[i];
        const size_t equals = named.find('=');
        Program program{named.substr(0, equals), {}, {}};
        std::istringstream words(equals == std::string::npos ? std::string() : named.substr(equals + 1));
        for (std::string word; words >> word;)
            program.argv.push_back(word);
        if (program.argv.empty())
            runs = 0;
        programs.push_back(program);
    }
    if (runs < 1 || programs.empty()) {
        std::fprintf(stderr, "usage: quorvel-first-ink RUNS NAME=COMMAND... (under an X server: DISPLAY)\n");
        return 2;
    }
    Screen_Poller screen;
    if (!screen.Open()) {
        std::fprintf(stderr, "quorvel-first-ink: no X display with MIT-SHM and 32-bit pixels (DISPLAY)\n");
        return 1;
    }
    for (int run = 0; run < runs; ++run)
        for (Program &program : programs) {
            const double ms = One_Run(screen, program);
            if (ms < 0) {
                std::fprintf(stderr, "quorvel-first-ink: %s showed no settled page\n", program.name.c_str());
                return 1;
            }
            program.first_ink_ms.push_back(ms);
        }
    std::printf("first ink on screen (%.0f %% of the final dark pixels), %d interleaved runs each:\n", Share * 100,
                runs);
    for (const Program &program : programs) {
        const auto [low, high] = std::minmax_element(program.first_ink_ms.begin(), program.first_ink_ms.end());
        std::printf("  %-10s median %7.1f ms   fastest %7.1f ms   slowest %7.1f ms\n", program.name.c_str(),
                    Median(program.first_ink_ms), *low, *high);
    }
    for (size_t p = 1; p < programs.size(); ++p) {
        std::vector<double> ratios;
        for (int run = 0; run < runs; ++run)
            ratios.push_back(programs[0].first_ink_ms[size_t(run)] / programs[p].first_ink_ms[size_t(run)]);
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("  %s / %s: median of the pairs %.2f (spread %.2f to %.2f)\n", programs[0].name.c_str(),
                    programs[p].name.c_str(), Median(ratios), *low, *high);
    }
    return 0;
}
