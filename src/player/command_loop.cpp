#include "player/command_loop.h"

#include <cstdio>
#include <cstring>

#include "player/command_text.h"
#include "player/console_input.h"
#include "player/seconds.h"

namespace {

bool is(const char *word, const char *command)
{
    return std::strcmp(word, command) == 0;
}

void show_menu(const Player *p)
{
    uint32_t rate = wave_now(p).rate;
    std::printf("\n'i' to set in");
    std::printf("\n'o' to set out");
    std::printf("\n'l' to change number of loops (%i)", p->loops);
    std::printf("\n'p' to play with current settings: %.2f to %.2f sec",
                frames_to_seconds(p->selection.start, rate), frames_to_seconds(p->selection.stop, rate));
    std::printf("\n'w' to play whole file");
    std::printf("\n'x' to exit");
    std::puts("\n'+' to show additional commands");
}

void show_additional_commands()
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
}

// Reads the next command word. The end of input ends the run as "x" does,
// rather than repeating the last word for ever.
void read_command(Player *p)
{
    if (read_word(stdin, p->commandText, COMMAND_TEXT_SIZE) == WORD_END)
        std::strcpy(p->commandText, "x");
}

Pending check_play(const Selection &s)
{
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

void set_nudge(Player *p)
{
    std::printf("\nCurrent Nudge Amount = %li samples or %.3f sec\n", static_cast<long>(p->nudge),
                frames_to_seconds(p->nudge, wave_now(p).rate));
    std::puts("Enter new nudge amount (in samples) or '0' to keep settings");
    int32_t entry = 0;
    if (read_int32(stdin, &entry) && entry > 0)
        p->nudge = entry;
}

// Applies one command word. Several checks can fire for one word, in this
// order; a word that is no command does nothing.
Pending process_command(Player *p, bool *endAfterPlay)
{
    const char *word = p->commandText;
    Selection &s = p->selection;
    const WaveFields w = wave_now(p);
    auto length = static_cast<int32_t>(w.length);
    if (is(word, "+"))
        show_additional_commands();
    Pending pending = is(word, "x") ? PENDING_EXIT : PENDING_NONE;
    if (is(word, "p") || is(word, "px"))
        pending = check_play(s);
    if (is(word, "px") || is(word, "wx"))
        *endAfterPlay = true;
    if (is(word, "i"))
        SetInTime(w.rate, length, &s.start);
    if (is(word, "o"))
        SetOutTime(w.rate, length, &s.stop);
    if (is(word, "w") || is(word, "wx")) {
        s = Selection{0, length};
        pending = PENDING_PLAY;
    }
    if (is(word, "l")) {
        std::puts("Enter number of loops.");
        read_int32(stdin, &p->loops);
    }
    apply_step_command(word, &s, w.length, p->nudge);
    if (is(word, "nn"))
        set_nudge(p);
    return pending;
}

} // namespace

Pending next_action(Player *p, bool *endAfterPlay)
{
    bool showMenu = p->commandGiven == 0;
    for (;;) {
        if (showMenu) {
            show_menu(p);
            read_command(p);
        }
        showMenu = true;
        Pending pending = process_command(p, endAfterPlay);
        if (pending != PENDING_NONE)
            return pending;
    }
}
