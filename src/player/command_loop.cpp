#include "player/command_loop.h"

#include <cstdio>
#include <cstring>

#include "control/commands.h"
#include "player/remote_menu.h"
#include "player/seconds.h"
#include "util/console_input.h"
#include "util/text_sizes.h"

namespace {

void show_menu(const Player *p)
{
    uint32_t rate = p->wave.rate;
    std::printf("\n'i' to set in");
    std::printf("\n'o' to set out");
    std::printf("\n'l' to change number of loops (%i)", p->loops);
    std::printf("\n'p' to play with current settings: %.2f to %.2f sec",
                frames_to_seconds(p->selection.start, rate),
                frames_to_seconds(p->selection.stop, rate));
    std::printf("\n'w' to play whole file");
    std::printf("\n'x' to exit");
    std::puts("\n'+' to show additional commands");
}

// Reads the next command word. The end of input ends the run as "x" does,
// rather than repeating the last word for ever.
void read_command(Player *p)
{
    if (read_word(stdin, p->commandText, COMMAND_TEXT_SIZE) == WORD_END)
        std::strcpy(p->commandText, "x");
}

// The commands. Each applies its word and says what comes next.

Pending show_additional_commands(Player *p)
{
    std::puts("\nAdditional Commands:");
    std::puts("\t'j' to jump time selection ahead");
    std::puts("\t'J' to jump time selection back");
    std::puts("\t'n' to nudge start forward");
    std::puts("\t'b' to nudge start backward");
    std::puts("\t'no' to nudge stop point forward");
    std::puts("\t'bo' to nudge stop point backward");
    std::puts("\t'N' to nudge both start and stop forward");
    std::puts("\t'B' to nudge both start and stop backward");
    std::puts("\t'nn' to set nudge amount");
    if (p->markers.count > 0) {
        std::puts("\t'm' to list markers");
        std::puts("\t'c' to select a marker's stretch");
    }
    // Shown once exact edges have been used: a run without them keeps the
    // list as it always was.
    if (p->exactUsed)
        std::printf("\t'e' to turn exact edges %s (they are %s)\n", p->exact ? "off" : "on",
                    p->exact ? "on" : "off");
    return PENDING_NONE;
}

bool has_markers_or_say_so(const Player *p)
{
    if (p->markers.count == 0)
        std::puts("\nThis file has no markers.");
    return p->markers.count > 0;
}

// Seconds in double precision: a marker deep into a long take keeps its
// millisecond.
double marker_seconds(uint32_t frames, uint32_t rate)
{
    return static_cast<double>(frames) / rate;
}

Pending list_markers(Player *p)
{
    if (!has_markers_or_say_so(p))
        return PENDING_NONE;
    uint32_t rate = p->wave.rate;
    std::puts("\nMarkers:");
    for (uint32_t i = 0; i < p->markers.count; ++i) {
        const Marker &m = p->markers.items[i];
        std::printf("%4u  at %.3f sec  for %.3f sec  %s\n", i + 1, marker_seconds(m.position, rate),
                    marker_seconds(m.end - m.position, rate), m.label);
    }
    return PENDING_NONE;
}

// The selection becomes the stretch of the marker whose number is typed.
Pending select_marker(Player *p)
{
    if (!has_markers_or_say_so(p))
        return PENDING_NONE;
    std::puts("Enter marker number.");
    int32_t number = 0;
    if (!read_int32(stdin, &number))
        return PENDING_NONE;
    const Marker *m = marker_numbered(&p->markers, number);
    if (m == nullptr) {
        std::printf("There is no marker %i.\n", number);
        return PENDING_NONE;
    }
    p->selection = stretch_of(m);
    return PENDING_NONE;
}

// In the "+" list only once used: an extension that changes no text of a
// run without it.
Pending toggle_exact_edges(Player *p)
{
    p->exact = !p->exact;
    p->exactUsed = true;
    std::puts(p->exact ? "Exact edges are on: a play ends on its stop frame, and loops join "
                         "without a gap."
                       : "Exact edges are off: a play ends on a whole period.");
    return PENDING_NONE;
}

Pending exit_run(Player *)
{
    return PENDING_EXIT;
}

// A start after the stop is reported and still "played": the header and
// loop lines are printed, and no audio follows.
Pending check_play(Player *p)
{
    const Selection &s = p->selection;
    if (s.start > s.stop) {
        std::puts("Start time is set later than stop time!");
        return PENDING_PLAY;
    }
    if (s.start == s.stop) {
        std::puts("Start time and stop time are the same!");
        return PENDING_NONE;
    }
    return PENDING_PLAY;
}

Pending whole_file(Player *p)
{
    p->selection = Selection{0, static_cast<int32_t>(p->wave.length)};
    return PENDING_PLAY;
}

Pending set_in(Player *p)
{
    const WaveFields &w = p->wave;
    SetInTime(w.rate, static_cast<int32_t>(w.length), &p->selection.start, &p->markers);
    return PENDING_NONE;
}

Pending set_out(Player *p)
{
    const WaveFields &w = p->wave;
    SetOutTime(w.rate, static_cast<int32_t>(w.length), &p->selection.stop, &p->markers);
    return PENDING_NONE;
}

Pending set_loops(Player *p)
{
    std::puts("Enter number of loops.");
    read_int32(stdin, &p->loops);
    return PENDING_NONE;
}

Pending set_nudge(Player *p)
{
    std::printf("\nCurrent Nudge Amount = %li samples or %.3f sec\n", static_cast<long>(p->nudge),
                frames_to_seconds(p->nudge, p->wave.rate));
    std::puts("Enter new nudge amount (in samples) or '0' to keep settings");
    int32_t entry = 0;
    if (read_int32(stdin, &entry) && entry > 0)
        p->nudge = entry;
    return PENDING_NONE;
}

template <StepCommand STEP>
Pending step(Player *p)
{
    p->selection = STEP(p->selection, p->wave.length, p->nudge);
    return PENDING_NONE;
}

// What each menu command does. "px" and "wx" check and play as "p" and
// "w" do; the loop ends the run after that play.
const struct {
    Command command;
    Pending (*apply)(Player *);
} MENU_ACTIONS[] = {
    {COMMAND_SHOW_ADDITIONAL, show_additional_commands},
    {COMMAND_EXIT, exit_run},
    {COMMAND_PLAY, check_play},
    {COMMAND_PLAY_THEN_END, check_play},
    {COMMAND_WHOLE, whole_file},
    {COMMAND_WHOLE_THEN_END, whole_file},
    {COMMAND_SET_IN, set_in},
    {COMMAND_SET_OUT, set_out},
    {COMMAND_SET_LOOPS, set_loops},
    {COMMAND_JUMP_AHEAD, step<jump_ahead>},
    {COMMAND_JUMP_BACK, step<jump_back>},
    {COMMAND_NUDGE_START_FORWARD, step<nudge_start_forward>},
    {COMMAND_NUDGE_START_BACKWARD, step<nudge_start_backward>},
    {COMMAND_NUDGE_BOTH_FORWARD, step<nudge_both_forward>},
    {COMMAND_NUDGE_BOTH_BACKWARD, step<nudge_both_backward>},
    {COMMAND_NUDGE_STOP_FORWARD, step<nudge_stop_forward>},
    {COMMAND_NUDGE_STOP_BACKWARD, step<nudge_stop_backward>},
    {COMMAND_SET_NUDGE, set_nudge},
    {COMMAND_LIST_MARKERS, list_markers},
    {COMMAND_SELECT_MARKER, select_marker},
    {COMMAND_TOGGLE_EXACT, toggle_exact_edges},
};

// Applies a menu command and says what comes next. The keys of a play, and
// words that are no command, are ignored at the menu.
Pending apply_menu_command(Player *p, Command command)
{
    for (const auto &action : MENU_ACTIONS) {
        if (action.command != command)
            continue;
        answer_remote_at_prompts(true);
        Pending pending = action.apply(p);
        answer_remote_at_prompts(false);
        return pending;
    }
    return PENDING_NONE;
}

} // namespace

Pending next_action(Player *p)
{
    // "px" and "wx" end the run after the next play, even when their own
    // check found nothing to play and a later "p" starts it.
    bool endAfterPlay = false;
    bool showMenu = p->commandGiven == 0;
    for (;;) {
        if (p->exitAsked)
            return PENDING_EXIT;
        if (showMenu && !p->inputEnded)
            show_menu(p);
        RemoteRequest request{};
        bool remote = showMenu && remote_on() && next_word_or_request(p, &request);
        if (showMenu && !remote_on())
            read_command(p);
        showMenu = true;
        Command command = remote ? COMMAND_NONE : menu_command(p->commandText);
        endAfterPlay =
            endAfterPlay || command == COMMAND_PLAY_THEN_END || command == COMMAND_WHOLE_THEN_END;
        Pending pending =
            remote ? apply_request_at_menu(p, request) : apply_menu_command(p, command);
        if (pending == PENDING_PLAY && endAfterPlay)
            return PENDING_PLAY_THEN_END;
        if (pending != PENDING_NONE)
            return pending;
    }
}
