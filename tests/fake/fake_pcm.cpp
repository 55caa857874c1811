// A link-time stand-in for the few snd_pcm calls the player makes, for what a
// machine without a sound card can't show with the real library: underruns,
// refused formats and parameters, other grants. Steered by environment
// variables (the real program reads none):
//   CUEDECK_FAKE_FAIL     open | format | hw: that call fails with -EINVAL
//   CUEDECK_FAKE_EPIPE    comma-separated numbers of writes (1-based) that
//                         fail with -EPIPE, as after an underrun
//   CUEDECK_FAKE_PERIOD   the period to grant (default: the request)
//   CUEDECK_FAKE_WIDTH    bytes per sample the device picks when the player
//                         asks for no format (default 4)
//   CUEDECK_FAKE_DELAY_MS milliseconds each write takes, like a paced device
//   CUEDECK_FAKE_OUT      file that receives every frame written
//   CUEDECK_FAKE_LOG      file that receives one line per call
#include <alsa/asoundlib.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

struct FakeState {
    unsigned int channels = 0;
    unsigned int width = 0;
    snd_pcm_uframes_t period = 0;
    int writes = 0;
};

FakeState state;

const char *setting(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool fails(const char *call)
{
    return std::strcmp(setting("CUEDECK_FAKE_FAIL"), call) == 0;
}

void log_line(const std::string &line)
{
    if (*setting("CUEDECK_FAKE_LOG") == '\0')
        return;
    std::FILE *f = std::fopen(setting("CUEDECK_FAKE_LOG"), "a");
    if (f == nullptr)
        return;
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

bool write_fails_with_epipe(int number)
{
    std::string list = std::string(",") + setting("CUEDECK_FAKE_EPIPE") + ",";
    return list.find("," + std::to_string(number) + ",") != std::string::npos;
}

// Any non-null pointer serves as the handle; nothing dereferences it.
char handleTarget;

} // namespace

extern "C" {

int snd_pcm_open(snd_pcm_t **pcm, const char *name, snd_pcm_stream_t, int mode)
{
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
    state.width = 0;
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
    if (fails("format"))
        return -EINVAL;
    state.width = format == SND_PCM_FORMAT_S16_LE ? 2 : 3;
    return 0;
}

int snd_pcm_hw_params_set_channels(snd_pcm_t *, snd_pcm_hw_params_t *, unsigned int channels)
{
    log_line("channels " + std::to_string(channels));
    state.channels = channels;
    return 0;
}

int snd_pcm_hw_params_set_rate_near(snd_pcm_t *, snd_pcm_hw_params_t *, unsigned int *rate, int *)
{
    log_line("rate " + std::to_string(*rate));
    return 0;
}

int snd_pcm_hw_params_set_period_size_near(snd_pcm_t *, snd_pcm_hw_params_t *,
                                           snd_pcm_uframes_t *period, int *)
{
    log_line("period " + std::to_string(*period));
    if (*setting("CUEDECK_FAKE_PERIOD") != '\0')
        *period = std::strtoul(setting("CUEDECK_FAKE_PERIOD"), nullptr, 10);
    state.period = *period;
    return 0;
}

int snd_pcm_hw_params_set_buffer_size_near(snd_pcm_t *, snd_pcm_hw_params_t *,
                                           snd_pcm_uframes_t *buffer)
{
    log_line("buffer " + std::to_string(*buffer));
    return 0;
}

int snd_pcm_hw_params(snd_pcm_t *, snd_pcm_hw_params_t *)
{
    log_line("hw_params");
    if (fails("hw"))
        return -EINVAL;
    if (state.width == 0)
        state.width = *setting("CUEDECK_FAKE_WIDTH") != '\0'
                          ? static_cast<unsigned int>(std::atoi(setting("CUEDECK_FAKE_WIDTH")))
                          : 4;
    return 0;
}

int snd_pcm_hw_params_get_period_size(const snd_pcm_hw_params_t *, snd_pcm_uframes_t *period, int *)
{
    *period = state.period;
    return 0;
}

ssize_t snd_pcm_frames_to_bytes(snd_pcm_t *, snd_pcm_sframes_t frames)
{
    return static_cast<ssize_t>(frames * state.channels * state.width);
}

snd_pcm_sframes_t snd_pcm_writei(snd_pcm_t *, const void *buffer, snd_pcm_uframes_t frames)
{
    int number = ++state.writes;
    if (write_fails_with_epipe(number)) {
        log_line("write " + std::to_string(frames) + " EPIPE");
        return -EPIPE;
    }
    log_line("write " + std::to_string(frames));
    if (*setting("CUEDECK_FAKE_DELAY_MS") != '\0')
        usleep(static_cast<useconds_t>(std::atoi(setting("CUEDECK_FAKE_DELAY_MS")) * 1000));
    if (*setting("CUEDECK_FAKE_OUT") != '\0') {
        std::FILE *f = std::fopen(setting("CUEDECK_FAKE_OUT"), "ab");
        if (f != nullptr) {
            std::fwrite(buffer, 1, frames * state.channels * state.width, f);
            std::fclose(f);
        }
    }
    return static_cast<snd_pcm_sframes_t>(frames);
}

int snd_pcm_prepare(snd_pcm_t *)
{
    log_line("prepare");
    return 0;
}

int snd_pcm_drain(snd_pcm_t *)
{
    log_line("drain");
    return 0;
}

int snd_pcm_close(snd_pcm_t *)
{
    log_line("close");
    return 0;
}

const char *snd_strerror(int err)
{
    return err == -EINVAL ? "Invalid argument" : "Unknown error";
}

const char *snd_pcm_format_name(snd_pcm_format_t format)
{
    return format == SND_PCM_FORMAT_S16_LE ? "S16_LE" : format == SND_PCM_FORMAT_S24_3LE ? "S24_3LE" : "?";
}

} // extern "C"
