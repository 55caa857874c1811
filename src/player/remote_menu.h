// The remote at the menu: its requests applied as the menu's words are,
// and the state it is told.
#pragma once

#include "player/command_loop.h"
#include "player/player_state.h"

// The state the remote is told, from the player's: state is "idle",
// "armed", "playing" or "paused".
void tell_remote_state(const Player *p, const char *state);

// Waits for a word at standard input or a request from the remote. True
// with the request in *r; false with the word in p->commandText. When
// standard input ends, the remote alone is waited for from then on.
bool next_word_or_request(Player *p, RemoteRequest *r);

// While answer, a prompt at the terminal does not hold the remote up: its
// requests are refused as they come, until the answer is typed.
void answer_remote_at_prompts(bool answer);

// Applies a request at the menu, answers it, and says what comes next.
Pending apply_request_at_menu(Player *p, const RemoteRequest &r);
