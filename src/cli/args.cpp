#include "cli/args.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/help.h"
#include "control/osc_net.h"
#include "player/player.h"
#include "util/console_input.h"
#include "util/fatal.h"
#include "util/printable.h"

namespace {

// A name too long for its buffer is refused rather than cut: a shortened
// name would play a different file, or the wrong device.
void file_name_fits_or_exit(bool fits)
{
    if (!fits)
        exit_with_message(stdout, 2, "The file name is too long: at most %i characters!\n",
                          FILE_NAME_SIZE - 1);
}

void copy_device_name_or_exit(char *deviceName, const char *arg)
{
    if (std::strlen(arg) >= DEVICE_NAME_SIZE)
        exit_with_message(stderr, 1, "The device name is too long: at most %i characters\n",
                          DEVICE_NAME_SIZE - 1);
    std::strcpy(deviceName, arg);
}

void copy_file_name_or_exit(char *fileName, const char *arg)
{
    file_name_fits_or_exit(std::strlen(arg) < FILE_NAME_SIZE);
    std::strcpy(fileName, arg);
}

// Reads one word at the file prompt. "x", the end of input and a read error
// all end the program with status 1.
void read_file_name_or_exit(char *fileName)
{
    WordResult r = read_word(stdin, fileName, FILE_NAME_SIZE);
    if (r == WORD_END || std::strcmp(fileName, "x") == 0)
        exit_with_message(stdout, 1, "%s", ""); // without a word, as "x" always ended
    file_name_fits_or_exit(r != WORD_TOO_LONG);
}

void ask_for_file_name_or_exit(char *fileName)
{
    std::puts("\nEnter the name of .wav file, 'h' for help, or 'x' to exit: ");
    read_file_name_or_exit(fileName);
    if (std::strcmp(fileName, "h") == 0) {
        Help();
        std::puts("\nEnter the name of .wav file or 'x' to exit: ");
        read_file_name_or_exit(fileName); // a second "h" is a file name
    }
}

// START, STOP, LOOPS and CLOCK are taken as the C library reads them, so
// "0:12.5" is 0 and "12,5" is 12; a script's author hears of it on standard
// error. An empty argument, or one with anything after the number, is no
// number.
bool wholly_a_number(const char *arg, const char *end)
{
    return end != arg && *end == '\0';
}

float seconds_argument(const char *name, const char *arg)
{
    char *end = nullptr;
    auto seconds = static_cast<float>(std::strtod(arg, &end));
    if (!wholly_a_number(arg, end))
        warn("%s \"%s\" is not a number; taken as %g.\n", name, arg, static_cast<double>(seconds));
    return seconds;
}

// START or STOP: "#N" names marker N, anything else is seconds. A word
// that begins with "#" and is no marker number would play from 0 as
// seconds: refused, before the device opens.
void position_argument_or_exit(const char *name, const char *arg, float *seconds, int32_t *marker)
{
    if (arg[0] != '#') {
        *seconds = seconds_argument(name, arg);
        return;
    }
    if (!marker_number(arg, marker)) {
        char shown[SHOWN_NAME_SIZE];
        printable_copy(arg, shown, sizeof shown);
        exit_with_message(stdout, 2,
                          "%s \"%s\" names no marker: a marker is \"#\" and its number, as #2!\n",
                          name, shown);
    }
}

int32_t whole_argument(const char *name, const char *arg)
{
    char *end = nullptr;
    int32_t whole = clamp_to_int32(std::strtol(arg, &end, 10));
    if (!wholly_a_number(arg, end))
        warn("%s \"%s\" is not a number; taken as %i.\n", name, arg, whole);
    return whole;
}

// Whether arg is an option rather than a positional argument: it begins
// with "-", and not as a number does (a negative START or LOOPS, "-1x"
// taken as -1 with a warning; "-inf" and "-nan", which START and STOP
// read as numbers). No ALSA device name begins with "-" either.
bool is_option(const char *arg)
{
    char *end = nullptr;
    std::strtod(arg, &end);
    return arg[0] == '-' && arg[1] != '\0' && std::strchr("0123456789.", arg[1]) == nullptr &&
           !wholly_a_number(arg, end);
}

// The options that take a value, as "--NAME VALUE" or "--NAME=VALUE", and
// what each needs, as the usage says it.
struct ValuedOption {
    const char *name;
    const char *needs;
};
constexpr ValuedOption OSC_PLACE = {"--osc", "a port, or HOST:PORT"};
constexpr ValuedOption OSC_REPLY_PORT = {"--osc-reply-port", "a port, 1 to 65535"};
const ValuedOption *const VALUED_OPTIONS[] = {&OSC_PLACE, &OSC_REPLY_PORT};

// The valued option arg names, or nullptr.
const ValuedOption *valued_option(const char *arg)
{
    for (const ValuedOption *o : VALUED_OPTIONS) {
        size_t n = std::strlen(o->name);
        if (std::strncmp(arg, o->name, n) == 0 && (arg[n] == '\0' || arg[n] == '='))
            return o;
    }
    return nullptr;
}

// A port replies go to: 1 to 65535, or the run ends with status 2.
int32_t reply_port_or_exit(const char *value)
{
    char *end = nullptr;
    long port = std::strtol(value, &end, 10);
    if (!wholly_a_number(value, end) || port < 1 || port > 65535)
        exit_with_message(stderr, 2, "cuedeck: %s needs %s, not %s\n", OSC_REPLY_PORT.name,
                          OSC_REPLY_PORT.needs, value);
    return static_cast<int32_t>(port);
}

// --osc PLACE: where the remote listens; --osc-reply-port PORT: where
// replies go on the sender's host. Returns the arguments it took.
int take_valued_option_or_exit(int argc, char **argv, int i, Arguments *a)
{
    const ValuedOption *o = valued_option(argv[i]);
    size_t n = std::strlen(o->name);
    bool joined = argv[i][n] == '=';
    if (!joined && i + 1 >= argc)
        exit_with_message(stderr, 2, "cuedeck: %s needs %s\n%s", o->name, o->needs, usage_text());
    const char *value = joined ? argv[i] + n + 1 : argv[i + 1];
    if (o == &OSC_REPLY_PORT) {
        a->oscReplyPort = reply_port_or_exit(value);
        return joined ? 1 : 2;
    }
    // Said before any prompt: where it can be bound is learnt later.
    if (osc_place_is_malformed(value))
        exit_with_message(stderr, 2, "cuedeck: can't listen for OSC at %s: give %s\n", value,
                          OSC_PLACE.needs);
    a->oscPlace = value;
    return joined ? 1 : 2;
}

// --exact and -e set exact edges; --help, -h and --version answer and end
// the run. Any other option ("-D hw:0", the habit of other players) gets
// the usage rather than a search for a device.
void take_option_or_exit(const char *arg, Arguments *a)
{
    if (std::strcmp(arg, "--exact") == 0 || std::strcmp(arg, "-e") == 0)
        a->exact = true;
    else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)
        exit_with_message(stdout, 0, "%s", usage_text());
    else if (std::strcmp(arg, "--version") == 0)
        exit_with_message(stdout, 0, "cuedeck %s\n", CUEDECK_VERSION);
    else
        exit_with_message(stderr, 2, "cuedeck: unknown option '%s'\n%s", arg, usage_text());
}

// Takes the options wherever they stand among the arguments, as GNU tools
// do, up to "--", after which every word is positional (a file named
// "-e"). Moves the positional arguments to the front of argv, in their
// order, and returns their count with the program's name.
int take_options_or_exit(int argc, char **argv, Arguments *a)
{
    int kept = 1;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        if (!optionsEnded && std::strcmp(argv[i], "--") == 0)
            optionsEnded = true;
        else if (!optionsEnded && valued_option(argv[i]) != nullptr)
            i += take_valued_option_or_exit(argc, argv, i, a) - 1;
        else if (!optionsEnded && is_option(argv[i]))
            take_option_or_exit(argv[i], a);
        else
            argv[kept++] = argv[i];
    }
    return kept;
}

} // namespace

void read_arguments_or_exit(int argc, char **argv, Arguments *a)
{
    a->exact = false;
    a->oscPlace = nullptr;
    a->oscReplyPort = 0;
    int count = take_options_or_exit(argc, argv, a) - 1;
    if (a->oscReplyPort != 0 && a->oscPlace == nullptr)
        exit_with_message(stderr, 2, "cuedeck: --osc-reply-port goes with --osc\n%s", usage_text());
    std::strcpy(a->commandText, " ");
    a->startSeconds = 0;
    a->stopSeconds = 0;
    a->startMarker = NO_MARKER;
    a->stopMarker = NO_MARKER;
    a->loops = 1;
    a->showClock = 1;
    a->commandGiven = 0;
    if (count == 0 || std::strcmp(argv[1], "d") == 0)
        std::strcpy(a->deviceName, "default");
    else
        copy_device_name_or_exit(a->deviceName, argv[1]);
    if (count < 2) {
        ask_for_file_name_or_exit(a->fileName);
        return;
    }
    copy_file_name_or_exit(a->fileName, argv[2]);
    if (count >= 3)
        position_argument_or_exit("START", argv[3], &a->startSeconds, &a->startMarker);
    if (count >= 4)
        position_argument_or_exit("STOP", argv[4], &a->stopSeconds, &a->stopMarker);
    if (count >= 5) {
        // Cutting a long first command is safe: no command is that long.
        std::snprintf(a->commandText, sizeof a->commandText, "%s", argv[5]);
        a->commandGiven = 1;
    }
    if (count >= 6)
        a->loops = whole_argument("LOOPS", argv[6]);
    // Only with exactly seven arguments: an eighth leaves the clock on.
    if (count == 7)
        a->showClock = whole_argument("CLOCK", argv[7]);
}
