// Measures how long a program takes from its start to its first whole
// picture on the X server, against a bare main window of the same size built
// with the same toolkit (barewindow, beside this benchmark), the two started
// in turns. A start counts from the moment before the process is made; its
// picture is whole when the server answers the first look at the window that
// shows what the window shows a second later. A look is taken as the window
// is mapped and then whenever the server reports it drawn on (the DAMAGE
// extension), into memory shared with the server, so that looking does not
// itself keep the server and a core busy.
//
//   xvfb-run -s '-screen 0 1280x800x24' firstframebench PROGRAM [ROUNDS]
//
// The program runs in a folder of its own with the example vehicle as its
// settings.ini; EXAMPLE_SETTINGS names that file (the source tree's
// settings.example.ini by default).
#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Connection
{
    xcb_connection_t *x = nullptr;
    xcb_window_t root = 0;
    uint8_t damageEvent = 0;   // the first event code of the DAMAGE extension
    xcb_shm_seg_t segment = 0; // looks land here
    const uint8_t *pixels = nullptr;
    size_t capacity = 0;
};

double msSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// The next top-level window mapped, or 0 after `seconds`.
xcb_window_t nextMapped(const Connection &c, double seconds)
{
    const Clock::time_point end =
        Clock::now()
        + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    pollfd fd{xcb_get_file_descriptor(c.x), POLLIN, 0};
    while (Clock::now() < end) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c.x)) {
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
            std::free(event);
            if (mapped)
                return window;
        }
        poll(&fd, 1, 1);
    }
    return 0;
}

// Makes `size` bytes of memory shared with the X server, where looks land;
// false where it cannot be made.
bool shareMemory(Connection &c, size_t size)
{
    if (c.pixels) {
        xcb_shm_detach(c.x, c.segment);
        shmdt(c.pixels);
        c.pixels = nullptr;
    }
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void *attached = shmat(id, nullptr, SHM_RDONLY);
    const bool failed = reinterpret_cast<intptr_t>(attached) == -1;
    c.segment = xcb_generate_id(c.x);
    xcb_generic_error_t *error =
        failed ? nullptr
               : xcb_request_check(c.x, xcb_shm_attach_checked(c.x, c.segment, uint32_t(id), 1));
    shmctl(id, IPC_RMID, nullptr); // gone once both sides let go of it
    if (failed || error) {
        std::free(error);
        return false;
    }
    c.pixels = static_cast<const uint8_t *>(attached);
    c.capacity = size;
    return true;
}

// The window's pixels, hashed; 0 where the window is gone. The server puts
// them in memory shared with it (MIT-SHM): sent through the socket, a look
// at a large window takes milliseconds, during which the server draws
// nothing else.
unsigned long long look(Connection &c, xcb_window_t window, int width, int height)
{
    const size_t size = size_t(width) * size_t(height) * 4;
    if (size > c.capacity && !shareMemory(c, size)) {
        std::fprintf(stderr, "no memory shared with the X server\n");
        std::exit(1);
    }
    xcb_shm_get_image_reply_t *image = xcb_shm_get_image_reply(
        c.x,
        xcb_shm_get_image(c.x, window, 0, 0, uint16_t(width), uint16_t(height), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, c.segment, 0),
        nullptr);
    if (!image)
        return 0;
    std::free(image);
    // Hashed a word at a time: a byte at a time takes milliseconds per look.
    unsigned long long hash = 1469598103934665603ull;
    for (size_t i = 0; i + 8 <= size; i += 8) {
        unsigned long long word = 0;
        std::memcpy(&word, c.pixels + i, sizeof word);
        hash = (hash ^ word) * 1099511628211ull;
    }
    return hash | 1;
}

struct Start
{
    double ms = -1; // to the first whole picture; -1: none
    int width = 0;
    int height = 0;
};

Start measure(Connection &c, const std::vector<std::string> &command, const std::string &folder)
{
    std::vector<char *> argv;
    argv.reserve(command.size() + 1);
    for (const std::string &word : command)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    const Clock::time_point started = Clock::now();
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    std::filesystem::current_path(previous);
    posix_spawn_file_actions_destroy(&actions);
    Start result;
    if (failed != 0)
        return result;

    const xcb_window_t window = nextMapped(c, 10);
    if (window != 0) {
        xcb_get_geometry_reply_t *geometry =
            xcb_get_geometry_reply(c.x, xcb_get_geometry(c.x, window), nullptr);
        if (geometry) {
            result.width = geometry->width;
            result.height = geometry->height;
            std::free(geometry);
        }
        const xcb_damage_damage_t damage = xcb_generate_id(c.x);
        xcb_damage_create(c.x, damage, window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        std::vector<std::pair<double, unsigned long long>> looks;
        // A look counts at its answer: by then the server has drawn at least
        // what it shows.
        const auto lookNow = [&] {
            const unsigned long long seen = look(c, window, result.width, result.height);
            looks.emplace_back(msSince(started, Clock::now()), seen);
        };
        lookNow(); // whatever was drawn before the damage was watched
        pollfd fd{xcb_get_file_descriptor(c.x), POLLIN, 0};
        while (msSince(started, Clock::now()) < 1500) {
            bool drawn = false;
            while (xcb_generic_event_t *event = xcb_poll_for_event(c.x)) {
                drawn = drawn || (event->response_type & 0x7f) == c.damageEvent + XCB_DAMAGE_NOTIFY;
                std::free(event);
            }
            if (drawn) {
                // Reported again at the next drawing after this.
                xcb_damage_subtract(c.x, damage, XCB_NONE, XCB_NONE);
                lookNow();
            } else {
                poll(&fd, 1, 1);
            }
        }
        xcb_damage_destroy(c.x, damage);
        const unsigned long long whole = look(c, window, result.width, result.height);
        for (const auto &[ms, seen] : looks)
            if (seen == whole) {
                result.ms = ms;
                break;
            }
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string program = std::filesystem::absolute(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 12;
    const std::string bare =
        (std::filesystem::absolute(argv[0]).parent_path() / "barewindow").string();
    const char *example = std::getenv("EXAMPLE_SETTINGS");
    const std::filesystem::path settings = example ? example : EXAMPLE_SETTINGS;

    Connection c;
    int screen = 0;
    c.x = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(c.x)) {
        std::fprintf(stderr, "no X server: run under xvfb-run or on a display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c.x));
    for (int i = 0; i < screen; ++i)
        xcb_screen_next(&screens);
    c.root = screens.data->root;
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(c.x, &xcb_damage_id);
    if (!damage || !damage->present) {
        std::fprintf(stderr, "the X server has no DAMAGE extension\n");
        return 1;
    }
    c.damageEvent = damage->first_event;
    std::free(xcb_damage_query_version_reply(
        c.x, xcb_damage_query_version(c.x, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
        nullptr));
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c.x, c.root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c.x);

    char folderTemplate[] = "/tmp/firstframebench-XXXXXX";
    const std::string folder = mkdtemp(folderTemplate);
    std::filesystem::copy_file(settings, folder + "/settings.ini");

    // A first start of each warms the caches; it is not counted.
    Start first = measure(c, {program}, folder);
    if (first.ms < 0) {
        std::fprintf(stderr, "no picture from %s\n", program.c_str());
        return 1;
    }
    const std::vector<std::string> bareCommand = {bare, std::to_string(first.width),
                                                  std::to_string(first.height)};
    measure(c, bareCommand, folder);
    std::vector<double> programMs, bareMs, ratios;
    for (int round = 0; round < rounds; ++round) {
        const Start a = measure(c, {program}, folder);
        const Start b = measure(c, bareCommand, folder);
        if (a.ms < 0 || b.ms < 0) {
            std::fprintf(stderr, "round %d: no picture (%.1f, %.1f)\n", round + 1, a.ms, b.ms);
            return 1;
        }
        programMs.push_back(a.ms);
        bareMs.push_back(b.ms);
        ratios.push_back(a.ms / b.ms);
    }
    std::filesystem::remove_all(folder);
    std::printf("first whole picture of a %dx%d window, median of %d starts in turns:\n",
                first.width, first.height, rounds);
    std::printf("  program     %.1f ms\n  bare window %.1f ms\n", median(programMs),
                median(bareMs));
    std::printf("  ratio       %.2f (paired: %.2f to %.2f)\n", median(ratios),
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    return 0;
}
