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
