// The remote during a play: its requests applied as the keys are, the
// armed start, and the feedback of what is heard, told as it is heard (the
// device's queue counted off), not as it is written.
#pragma once
#include <cstdint>

#include "player/play_notes.h"
#include "player/player_state.h"

// Applies the requests queued: a go that starts an armed play, the
// hand-ons, release, pause, resume, stop and exit. A request that changes
// the selection or the file stops an armed play and stays queued for the
// menu; during a running play it is refused. Those after a stop are left
// to the menu.
void take_remote_requests(Player *p, PlayNotes *notes);

// A pass is written from notes->framesWritten on: told once it is heard.
void note_pass_written(PlayNotes *notes, const PassWritten &pass);

// The pass last written was released: none follows it.
void note_released(PlayNotes *notes);

// Tells what began to be heard since the last look (passes, a hand-on's
// marker) and the position, when due, given the frames written and not yet
// heard (by the device's delay where someone is told: see unheard_now).
// Returns the time until the next feedback is due, in ns, or -1 when none is.
int64_t push_heard_feedback(Player *p, PlayNotes *notes, uint64_t unheard);

// The state the remote is told, from the play's notes.
void tell_play_state(const Player *p, const PlayNotes *notes);

// Tells the remote how the play ended: heard, stopped (by stoppedBy, a
// signal's number: Ctrl-C's for q or a remote stop), cut short, or a
// device error (a gap), with the exit status a script gets for it.
void tell_play_done(PlayEnd end, int stoppedBy);
