"""bench/paced's measures in order, each on a fresh server of each kind:
python3 bench/paced_run.py CUEDECK"""

import os
import sys

from paced import (killed_mid_play, last_sound_to_exit, run_on_each_server, stall_cost,
                   stops_and_starts, wake_ups_per_second, whole_tone)
from paced_keys import at_8_khz, key_lead, keys_live_soak

run_on_each_server(os.path.abspath(sys.argv[1]),
                   (whole_tone, stops_and_starts, killed_mid_play, stall_cost, key_lead,
                    keys_live_soak, at_8_khz, wake_ups_per_second, last_sound_to_exit))
