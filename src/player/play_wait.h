// The waits of a play: for the device to play down to a lead, for Space
// again, for an armed play's go; each takes the keys and the remote's
// requests as it waits, and shows the clock line.
#pragma once
#include <cstdint>

#include "player/play_notes.h"
#include "player/player_state.h"

// Shows the clock: the file position of the period last written. At a
// terminal whose keys are live, the line also says what the keys will do,
// once they have said anything.
void show_clock(const Player *p, PlayNotes *notes);

// Reads the keys typed since the last look, and the remote's requests; q,
// Esc and a remote stop end the play.
void take_keys(Player *p, PlayNotes *notes);

// With keys or the remote live: waits, taking them, until the device
// holds at most frames not yet played. False when the play was stopped
// meanwhile (Ctrl-C, q).
bool wait_until_queued_at_most(Player *p, PlayNotes *notes, uint64_t frames);

// With keys or the remote live, the device is kept a lead ahead of what is
// heard, not a buffer ahead: waits, taking them, until what is written and
// not yet heard is down to the device's lead (pcm_lead_frames), so that a
// key acts at the end of a pass pressed that long before it. At once where
// the stream isn't running. False when the play was stopped meanwhile.
bool wait_for_lead(Player *p, PlayNotes *notes);

// Space: the device holds its place where it can; elsewhere it plays what
// it holds and then rests, so that the play goes on from the next frame
// either way: nothing lost, nothing played twice. Waits for Space again.
// False when the play was stopped meanwhile.
bool pause_while_asked(Player *p, PlayNotes *notes);

// An armed play, once the device holds its first audio: says so, and
// waits for the go. False when the play was stopped instead.
bool ready_until_go(Player *p, PlayNotes *notes);

// With keys or the remote live, waits for the lead before a write (where
// keepLead: a pass's last frames go at once, and the lead is waited for
// after them); with the remote on, the write must not block its wait
// either: waits, serving it, for room for frames (for the go, where an
// armed play filled the device). A stall shows here then, and goes to
// trouble as a write's would. False when the play was stopped meanwhile.
bool room_for(Player *p, PlayNotes *notes, uint32_t frames, bool keepLead, WriteTrouble *trouble);
