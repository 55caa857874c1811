// A link-time stand-in for the few snd_pcm calls the player makes, for what a
// machine without a sound card can't show with the real library: underruns,
// refused formats and parameters, other grants. Steered by environment
// variables (the real program reads none):
//   CUEDECK_FAKE_FAIL     open | format | hw | drain: that call fails (-EINVAL;
//                         the drain -EIO, as when the sound server went away)
//   CUEDECK_FAKE_WRITES   what given writes (1-based) do instead of taking
//                         every frame: "N=WHAT" for write N, "N+=WHAT" for
//                         write N and all after it, comma-separated. WHAT is
//                         an errno name (EPIPE, ESTRPIPE, EINTR, EAGAIN,
//                         ENODEV, EIO, ...), "short" (takes half the frames),
//                         "slow" (takes 300 ms, like a stalled device)
//                         or "zero" (takes none)
//   CUEDECK_FAKE_RECOVER  "fail": snd_pcm_recover can't clear any error
//   CUEDECK_FAKE_REFUSE   sample formats the device refuses, by ALSA's names,
//                         comma-separated
//   CUEDECK_FAKE_CHANNELS "MIN-MAX": the channel counts the device takes
//   CUEDECK_FAKE_CHMAP    "take", "tell:P,P,...", "take:P,..." or "one:P,...":
//                         see snd_pcm_set_chmap
//   CUEDECK_FAKE_PERIOD   the period to grant (default: the request)
//   CUEDECK_FAKE_RATE     the rate to grant (default: the request)
//   CUEDECK_FAKE_BUFFER   the buffer to grant (default: the request)
//   CUEDECK_FAKE_LATENCY  frames a running device holds beyond its buffer, as
//                         a sound server does: added to snd_pcm_delay
//   CUEDECK_FAKE_DELAY_MS milliseconds a period's write takes (a shorter
//                         write, its share), like a paced device
//   CUEDECK_FAKE_START    "hang": starting the stream takes 2 s whatever
//                         signal comes, as a stopped sound server's start
//                         does, whether a write that reaches the start
//                         threshold starts it or snd_pcm_start does
//   CUEDECK_FAKE_PAUSE    "can": the device holds its place on snd_pcm_pause
//   CUEDECK_FAKE_OUT      file that receives every frame written
//   CUEDECK_FAKE_LOG      file that receives one line per call
#include <alsa/asoundlib.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

namespace {

struct FakeState {
    unsigned int channels = 0;
    unsigned int width = 0; // bytes a sample
    unsigned int rate = 0;
    snd_pcm_uframes_t period = 0;
    int writes = 0;
    snd_pcm_uframes_t startThreshold = 1; // the library's own
    bool running = false;
    bool paused = false;
    snd_pcm_uframes_t buffer = 16384;
    double playedFrom = 0; // a paced device: when its queue began to play, and how much it got
    double queuedFrames = 0;
};

const struct {
    snd_pcm_format_t format;
    const char *name;
    unsigned int width;
} FORMATS[] = {{SND_PCM_FORMAT_U8, "U8", 1},
               {SND_PCM_FORMAT_S16_LE, "S16_LE", 2},
               {SND_PCM_FORMAT_S24_3LE, "S24_3LE", 3},
               {SND_PCM_FORMAT_S32_LE, "S32_LE", 4},
               {SND_PCM_FORMAT_FLOAT_LE, "FLOAT_LE", 4},
               {SND_PCM_FORMAT_FLOAT64_LE, "FLOAT64_LE", 8},
               {SND_PCM_FORMAT_A_LAW, "A_LAW", 1},
               {SND_PCM_FORMAT_MU_LAW, "MU_LAW", 1}};

FakeState state;

double now_seconds()
{
    struct timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// What a paced device (CUEDECK_FAKE_DELAY_MS) still holds: what it was
// sent, less what its rate has played since.
double queued_now()
{
    double now = now_seconds();
    // A stream not yet started (an armed play) holds what it was sent.
    bool playing = state.running && !state.paused;
    double left = state.queuedFrames - (playing ? (now - state.playedFrom) * state.rate : 0);
    state.playedFrom = now;
    state.queuedFrames = left > 0 ? left : 0;
    return state.queuedFrames;
}

// The knobs, read once, when the device is opened.
struct Knobs {
    std::string fail, log, writes, refuse, rate, period, delayMs, out, recover, channels, chmap,
        start, pause, buffer, latency;
};
Knobs knobs;

std::string setting(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

void read_knobs()
{
    knobs = Knobs{setting("CUEDECK_FAKE_FAIL"),     setting("CUEDECK_FAKE_LOG"),
                  setting("CUEDECK_FAKE_WRITES"),   setting("CUEDECK_FAKE_REFUSE"),
                  setting("CUEDECK_FAKE_RATE"),     setting("CUEDECK_FAKE_PERIOD"),
                  setting("CUEDECK_FAKE_DELAY_MS"), setting("CUEDECK_FAKE_OUT"),
                  setting("CUEDECK_FAKE_RECOVER"),  setting("CUEDECK_FAKE_CHANNELS"),
                  setting("CUEDECK_FAKE_CHMAP"),    setting("CUEDECK_FAKE_START"),
                  setting("CUEDECK_FAKE_PAUSE"),    setting("CUEDECK_FAKE_BUFFER"),
                  setting("CUEDECK_FAKE_LATENCY")};
}

bool fails(const char *call)
{
    return knobs.fail == call;
}

void log_line(const std::string &line)
{
    if (knobs.log.empty())
        return;
    std::FILE *f = std::fopen(knobs.log.c_str(), "a");
    if (f == nullptr)
        return;
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

// What write number `number` does: "" (take every frame) or a WHAT of
// CUEDECK_FAKE_WRITES.
std::string scripted_write(int number)
{
    std::string list = knobs.writes + ",";
    size_t at = 0;
    for (size_t comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
        std::string item = list.substr(at, comma - at);
        size_t eq = item.find('=');
        if (eq == std::string::npos)
            continue;
        bool onwards = eq > 0 && item[eq - 1] == '+';
        int first = std::atoi(item.c_str());
        if (number == first || (onwards && number > first))
            return item.substr(eq + 1);
    }
    return "";
}

const struct {
    const char *name;
    int value;
} ERRORS[] = {{"EPIPE", EPIPE},   {"ESTRPIPE", ESTRPIPE}, {"EINTR", EINTR},  {"EAGAIN", EAGAIN},
              {"ENODEV", ENODEV}, {"EIO", EIO},           {"EBADFD", EBADFD}};

int error_named(const std::string &name)
{
    for (const auto &e : ERRORS) {
        if (name == e.name)
            return e.value;
    }
    return EINVAL;
}

std::string error_name(int err)
{
    for (const auto &e : ERRORS) {
        if (err == e.value)
            return e.name;
    }
    return std::to_string(err);
}

// A start that a stopped server holds up: no signal ends the wait.
void start_stream()
{
    if (knobs.start == "hang") {
        struct timespec left = {2, 0};
        while (nanosleep(&left, &left) != 0) {
        }
    }
    queued_now(); // what it holds starts to play from now
    state.running = true;
}

// Any non-null pointer serves as the handle; nothing dereferences it.
char handleTarget;

} // namespace

extern "C" {

int snd_pcm_open(snd_pcm_t **pcm, const char *name, snd_pcm_stream_t, int mode)
{
    read_knobs();
    log_line(std::string("open ") + name + " mode " + std::to_string(mode));
    if (fails("open"))
        return -EINVAL;
    *pcm = reinterpret_cast<snd_pcm_t *>(&handleTarget);
    return 0;
}

size_t snd_pcm_hw_params_sizeof(void)
{
    return 64;
}

int snd_pcm_hw_params_any(snd_pcm_t *, snd_pcm_hw_params_t *)
{
    return 0;
}

int snd_pcm_hw_params_set_access(snd_pcm_t *, snd_pcm_hw_params_t *, snd_pcm_access_t access)
{
    log_line("access " + std::to_string(access));
    return 0;
}

int snd_pcm_hw_params_set_format(snd_pcm_t *, snd_pcm_hw_params_t *, snd_pcm_format_t format)
{
    log_line(std::string("format ") + snd_pcm_format_name(format));
    std::string refused = "," + knobs.refuse + ",";
    if (fails("format") ||
        refused.find(std::string(",") + snd_pcm_format_name(format) + ",") != std::string::npos)
        return -EINVAL;
    for (const auto &f : FORMATS) {
        if (f.format == format)
            state.width = f.width;
    }
    return 0;
}

// The channel counts the device takes: CUEDECK_FAKE_CHANNELS "MIN-MAX", else any.
unsigned int fewest_channels()
{
    return knobs.channels.empty() ? 1 : static_cast<unsigned int>(std::stoul(knobs.channels));
}

unsigned int most_channels()
{
    size_t dash = knobs.channels.find('-');
    return dash == std::string::npos
               ? 64
               : static_cast<unsigned int>(std::stoul(knobs.channels.substr(dash + 1)));
}

int snd_pcm_hw_params_set_channels(snd_pcm_t *, snd_pcm_hw_params_t *, unsigned int channels)
{
    log_line("channels " + std::to_string(channels));
    if (channels < fewest_channels() || channels > most_channels())
        return -EINVAL;
    state.channels = channels;
    return 0;
}

int snd_pcm_hw_params_get_channels_min(const snd_pcm_hw_params_t *, unsigned int *channels)
{
    *channels = fewest_channels();
    return 0;
}

int snd_pcm_hw_params_get_channels_max(const snd_pcm_hw_params_t *, unsigned int *channels)
{
    *channels = most_channels();
    return 0;
}

int snd_pcm_hw_params_set_rate_near(snd_pcm_t *, snd_pcm_hw_params_t *, unsigned int *rate, int *)
{
    log_line("rate " + std::to_string(*rate));
    state.rate = *rate;
    if (!knobs.rate.empty())
        state.rate = static_cast<unsigned int>(std::stoul(knobs.rate));
    *rate = state.rate;
    return 0;
}

int snd_pcm_hw_params_get_rate(const snd_pcm_hw_params_t *, unsigned int *rate, int *)
{
    *rate = state.rate;
    return 0;
}

int snd_pcm_hw_params_set_period_size_near(snd_pcm_t *, snd_pcm_hw_params_t *,
                                           snd_pcm_uframes_t *period, int *)
{
    log_line("period " + std::to_string(*period));
    if (!knobs.period.empty())
        *period = std::stoul(knobs.period);
    state.period = *period;
    return 0;
}

int snd_pcm_hw_params_set_buffer_size_near(snd_pcm_t *, snd_pcm_hw_params_t *,
                                           snd_pcm_uframes_t *buffer)
{
    log_line("buffer " + std::to_string(*buffer));
    if (!knobs.buffer.empty())
        *buffer = std::stoul(knobs.buffer);
    state.buffer = *buffer;
    return 0;
}

// Logged with the cycle a PipeWire stream would ask for.
int snd_pcm_hw_params(snd_pcm_t *, snd_pcm_hw_params_t *)
{
    const char *cycle = std::getenv("PIPEWIRE_LATENCY");
    log_line(std::string("hw_params") + (cycle != nullptr ? " " + std::string(cycle) : ""));
    if (fails("hw"))
        return -EINVAL;
    return 0;
}

int snd_pcm_hw_params_get_period_size(const snd_pcm_hw_params_t *, snd_pcm_uframes_t *period, int *)
{
    *period = state.period;
    return 0;
}

// A device whose buffer is always full, so no write waits longer than it
// plays; or, paced, one that plays what it was sent at its rate.
int snd_pcm_delay(snd_pcm_t *, snd_pcm_sframes_t *delay)
{
    *delay = knobs.delayMs.empty() ? 0 : static_cast<snd_pcm_sframes_t>(queued_now());
    if (!knobs.latency.empty() && state.running)
        *delay += static_cast<snd_pcm_sframes_t>(std::stoul(knobs.latency));
    return 0;
}

snd_pcm_sframes_t snd_pcm_avail_update(snd_pcm_t *)
{
    if (knobs.delayMs.empty())
        return 0;
    double queued = queued_now();
    return queued >= state.buffer ? 0 : static_cast<snd_pcm_sframes_t>(state.buffer - queued);
}

int snd_pcm_hw_params_can_pause(const snd_pcm_hw_params_t *)
{
    return knobs.pause == "can" ? 1 : 0;
}

// A paced device holds what it has queued while paused.
int snd_pcm_pause(snd_pcm_t *, int enable)
{
    log_line("pause " + std::to_string(enable));
    queued_now();
    state.paused = enable != 0;
    return 0;
}

snd_pcm_sframes_t snd_pcm_writei(snd_pcm_t *, const void *buffer, snd_pcm_uframes_t frames)
{
    std::string what = scripted_write(++state.writes);
    if (what == "zero") {
        log_line("write " + std::to_string(frames) + " zero");
        return 0;
    }
    if (what == "short")
        frames /= 2;
    else if (what == "slow")
        usleep(300000); // a signal cuts it short, as it would a wait for the device
    else if (!what.empty()) {
        log_line("write " + std::to_string(frames) + " " + what);
        return -error_named(what);
    }
    log_line("write " + std::to_string(frames));
    // As the library: a write that fills the device to the start threshold
    // starts it (a device that isn't paced holds only what one write sent).
    double held = knobs.delayMs.empty() ? 0 : queued_now();
    if (!state.running && held + static_cast<double>(frames) >= state.startThreshold) {
        log_line("started by the write");
        start_stream();
    }
    if (!knobs.delayMs.empty()) {
        usleep(static_cast<useconds_t>(std::stoul(knobs.delayMs) * 1000 * frames /
                                       (state.period > 0 ? state.period : 1)));
        queued_now();
        state.queuedFrames += static_cast<double>(frames);
    }
    if (!knobs.out.empty()) {
        std::FILE *f = std::fopen(knobs.out.c_str(), "ab");
        if (f != nullptr) {
            std::fwrite(buffer, 1, frames * state.channels * state.width, f);
            std::fclose(f);
        }
    }
    return static_cast<snd_pcm_sframes_t>(frames);
}

// As the library's: underruns and suspends are cleared, interrupted waits
// need nothing, any other error comes back.
int snd_pcm_recover(snd_pcm_t *, int err, int silent)
{
    log_line("recover " + error_name(-err) + (silent != 0 ? " silent" : ""));
    if (knobs.recover == "fail")
        return err;
    return err == -EPIPE || err == -ESTRPIPE || err == -EINTR ? 0 : err;
}

int snd_pcm_wait(snd_pcm_t *, int timeout)
{
    log_line("wait " + std::to_string(timeout));
    return 1;
}

int snd_pcm_prepare(snd_pcm_t *)
{
    log_line("prepare");
    state.running = false;
    return 0;
}

int snd_pcm_drop(snd_pcm_t *)
{
    log_line("drop");
    state.running = false;
    state.queuedFrames = 0;
    return 0;
}

int snd_pcm_start(snd_pcm_t *)
{
    log_line("start");
    start_stream();
    return 0;
}

// A sound server's plugin: its position moves by the frame.
snd_pcm_type_t snd_pcm_type(snd_pcm_t *)
{
    return SND_PCM_TYPE_IOPLUG;
}

snd_pcm_state_t snd_pcm_state(snd_pcm_t *)
{
    return state.running ? SND_PCM_STATE_RUNNING : SND_PCM_STATE_PREPARED;
}

size_t snd_pcm_sw_params_sizeof(void)
{
    return 64;
}

int snd_pcm_sw_params_current(snd_pcm_t *, snd_pcm_sw_params_t *)
{
    return 0;
}

int snd_pcm_sw_params_get_boundary(const snd_pcm_sw_params_t *, snd_pcm_uframes_t *boundary)
{
    *boundary = snd_pcm_uframes_t{1} << 30;
    return 0;
}

// The threshold set in the parameters takes effect, as the library's, only
// when they are installed.
static snd_pcm_uframes_t pendingStartThreshold = 1;

int snd_pcm_sw_params_set_start_threshold(snd_pcm_t *, snd_pcm_sw_params_t *,
                                          snd_pcm_uframes_t threshold)
{
    pendingStartThreshold = threshold;
    return 0;
}

int snd_pcm_sw_params(snd_pcm_t *, snd_pcm_sw_params_t *)
{
    log_line("start threshold " + std::to_string(pendingStartThreshold));
    state.startThreshold = pendingStartThreshold;
    return 0;
}

int snd_pcm_drain(snd_pcm_t *)
{
    log_line("drain");
    return fails("drain") ? -EIO : 0;
}

// snd_pcm_abort, from the SIGINT handler: nothing here waits.
int snd_pcm_nonblock(snd_pcm_t *, int)
{
    return 0;
}

int snd_pcm_close(snd_pcm_t *)
{
    log_line("close");
    return 0;
}

// CUEDECK_FAKE_CHMAP "take": the device takes any channel map (logged by
// ALSA's position numbers); "tell:P,P,...": it keeps this map of its own;
// "take:P,...": it tells this map and takes any; "one:P,...": it tells this
// map, and answers 1 to any map offered, as PipeWire's plugin does (logged).
// Without it the device keeps its order to itself, as most plugins do.
int snd_pcm_set_chmap(snd_pcm_t *, const snd_pcm_chmap_t *map)
{
    bool one = knobs.chmap.compare(0, 4, "one:") == 0;
    if (knobs.chmap.compare(0, 4, "take") != 0 && !one)
        return -ENXIO;
    std::string line = "chmap";
    for (unsigned int c = 0; c < map->channels; ++c)
        line += " " + std::to_string(map->pos[c]);
    log_line(line);
    return one ? 1 : 0;
}

snd_pcm_chmap_t *snd_pcm_get_chmap(snd_pcm_t *)
{
    size_t colon = knobs.chmap.find(':');
    if (colon == std::string::npos)
        return nullptr;
    std::string list = knobs.chmap.substr(colon + 1) + ",";
    auto *map = static_cast<snd_pcm_chmap_t *>(
        std::calloc(1, sizeof(snd_pcm_chmap_t) + 64 * sizeof(unsigned int)));
    for (size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1)
        map->pos[map->channels++] =
            static_cast<unsigned int>(std::stoul(list.substr(at, comma - at)));
    return map;
}

const char *snd_strerror(int err)
{
    return std::strerror(-err);
}

const char *snd_pcm_format_name(snd_pcm_format_t format)
{
    for (const auto &f : FORMATS) {
        if (f.format == format)
            return f.name;
    }
    return "?";
}

} // extern "C"
