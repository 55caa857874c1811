"""The program's texts, as the tests expect them."""


def play_header(start, stop):
    return "Playing...\nstart = %s sec\nstop  = %s sec\n" % (start, stop)


def menu(start, stop, loops=1):
    return ("\n'i' to set in\n'o' to set out\n'l' to change number of loops (%d)"
            "\n'p' to play with current settings: %s to %s sec\n'w' to play whole file"
            "\n'x' to exit\n'+' to show additional commands\n" % (loops, start, stop))


HELP = ("\n\nThis program will play mono or stereo, 16 or 24 bit wave files.\n"
        "You will be able to play the entire file or set start and stop points.\n"
        "Press 'enter' after your choices.\n"
        "\nSound will be sent to the default alsa soundcard unless you enter a device name\n"
        "such as plughw:0,0 as the first argument when you first run the application.\n"
        "For example, cuedeck plughw:0,0\n"
        "\nAdditional Command Line Arguments:\n\n"
        "These are optional, but if you need argument 3 for example,\n"
        "you need to enter arguments 1 and 2 as well.\n\n"
        "The name of the wavefile is the 2nd argument.\n"
        "In this case, you may wish to use the shortcut 'd' for the first argument\n"
        "to use the default soundcard. For example, cuedeck d song1.wav\n\n"
        "The 3rd argument is the start time\n\n"
        "The 4th argument is the stop time\n\n"
        "Adding a 5th argument will skip the first interactive dialog and use the\n"
        "5th argument as the command.  So, entering 'p' will start playback immediately.\n\n"
        "'px' will play once or the set number of loops and exit.\n\n"
        "'w' will overwrite the in and out times and play the whole file.\n\n"
        "'wx' will play the whole file once or the set number of loops and exit.\n\n"
        "The 6th argument can set the number of loops, 1 = play once\n"
        "The 7th argument if set to 0 hides the clock\n")

PROMPT = "\nEnter the name of .wav file, 'h' for help, or 'x' to exit: \n"
NO_DEVICE = "unable to open pcm device: No such file or directory\n"
FOREIGN = "Can't play this wave file: it is not a little-endian RIFF/WAVE file!\n"
PLUG_HINT = "(A plug device converts format, rate and channels: plughw:0,0 or default, for example.)\n"
RESTART = "WARNING: Wavefile %s has changed!  Restart the program.\n"
GAP = ("Warning: the playback device ran dry during the play (an underrun): a gap was heard, and "
       "audio may have been lost\n")
GAPS = ("Warning: the playback device ran dry %d times during the play (underruns): gaps were "
        "heard, and audio may have been lost\n")
IN = "Enter in-time in seconds.\n"
OUT = "Enter out-time in seconds.\n"
ADDITIONAL = ("\nAdditional Commands:\n\t'j' to jump time selection ahead\n"
              "\t'J' to jump time selection back\n\t'n' to nudge start forward\n"
              "\t'b' to nudge start backward\n\t'no' to nudge stop point forward\n"
              "\t'bo' to nudge stop point backward\n"
              "\t'N' to nudge both start and stop forward\n"
              "\t'B' to nudge both start and stop backward\n\t'nn' to set nudge amount\n")
ASK_NUDGE = "Enter new nudge amount (in samples) or '0' to keep settings\n"
LATER = "Start time is set later than stop time!\n"


def nudge_amount(samples, seconds):
    return "\nCurrent Nudge Amount = %d samples or %s sec\n" % (samples, seconds) + ASK_NUDGE


def listing(*markers):
    return "\nMarkers:\n" + "".join("%4d  at %.3f sec  for %.3f sec  %s\n" % (n + 1, at, length, label)
                                    for n, (at, length, label) in enumerate(markers))


BROKEN = "Warning: a marker chunk of t.wav is cut short; playing without markers\n"

USAGE = ("Usage: cuedeck [-e] [--osc PORT|HOST:PORT] [DEVICE [FILE [START [STOP [COMMAND [LOOPS [CLOCK]]]]]]]\n"
         "       cuedeck --help | -h | --version\n"
         "\n"
         "Plays a wave file (PCM of 8, 16, 24 or 32 bits, floating point, A-law or\n"
         "mu-law), or a chosen stretch of it, on an ALSA playback device. Arguments\n"
         "are positional: to give the 3rd, give the 1st and 2nd too.\n"
         "\n"
         "  DEVICE   ALSA PCM device, e.g. plughw:0,0; d (or none) means default\n"
         "  FILE     the wave file; without it, cuedeck asks for one\n"
         "  START    start time in seconds, or #N for marker N; 0 (or none) is the\n"
         "           beginning\n"
         "  STOP     stop time in seconds, or #N; 0 (or none) is the end of the file\n"
         "  COMMAND  a first command, run before the menu; px plays START to STOP and\n"
         "           exits, wx plays the whole file and exits\n"
         "  LOOPS    how many times to play the selection; 1 if none\n"
         "  CLOCK    0 hides the running clock\n"
         "\n"
         "Options may stand anywhere among the arguments; -- ends them.\n"
         "  -e, --exact  exact edges: a play ends on its stop frame, and loops join\n"
         "               without a gap (the menu's e turns them on and off)\n"
         "  --osc PORT, --osc HOST:PORT\n"
         "               take OSC commands over UDP and TCP at that port (on\n"
         "               127.0.0.1 unless HOST is given; 0.0.0.0 is every address),\n"
         "               beside the menu; without a terminal, until /cuedeck/exit\n"
         "\n"
         "Markers, in files that have them:\n"
         "  #N       marker N, as START or STOP, or at the menu's i and o prompts\n"
         "  m        at the menu: list the markers\n"
         "  c        at the menu: select a marker's stretch, by its number\n"
         "\n"
         "Keys during a play started from the menu, at a terminal:\n"
         "  > <      at the end of this pass, go on to the next or previous marker's\n"
         "           stretch (without markers: the selection jumped by its length)\n"
         "  Enter    make this pass the last\n"
         "  Space    pause, and go on from the next frame\n"
         "  q, Esc   stop the play and keep the selection, as Ctrl-C does\n"
         "\n"
         "Examples:\n"
         "  cuedeck d song.wav 0 0 wx                the whole file once\n"
         "  cuedeck d song.wav 12.5 20 px            12.5 s to 20 s once\n"
         "  cuedeck plughw:0,0 song.wav 0 0 wx 3 0   the whole file three times, no clock\n"
         "  cuedeck d song.wav '#2' '#3' px -e       marker 2 to marker 3, exactly\n"
         "  cuedeck --osc 9000 d song.wav < /dev/null   a player a show drives: then\n"
         "           oscsend localhost 9000 /cuedeck/go i 2\n"
         "\n"
         "During px and wx, and at the menu, Ctrl-C ends cuedeck.\n"
         "\n"
         "The menu and everything else: man cuedeck (or, in the source tree,\n"
         "man -l man/cuedeck.1)\n")
