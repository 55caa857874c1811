#!/usr/bin/perl
# A show controller's client built on Protocol::OSC, not on liblo:
#   osc_client.pl udp|tcp|slip PORT < script
# Each line of the script is one step:
#   m ADDRESS TYPES ARGS...          a message
#   b ADDRESS TYPES ARGS... | ...    a bundle of messages
#   x HEX                            a raw packet (bad input)
#   r HEX                            raw bytes, unframed
#   f N ADDRESS                      N messages as fast as they go
#   w N                              wait (5 s at most) until N packets came back
# Every packet that comes back is printed on a line: the address, then
# each argument, separated by "|".
use strict;
use warnings;
use IO::Socket::INET;
use IO::Select;
use Protocol::OSC;

my ($mode, $port) = @ARGV;
my $osc = Protocol::OSC->new;
my $tcp = $mode ne 'udp';
my $sock = IO::Socket::INET->new(PeerAddr => '127.0.0.1', PeerPort => $port,
                                 Proto => $tcp ? 'tcp' : 'udp') or die "connect: $!";
my $select = IO::Select->new($sock);
my ($received, $stream) = (0, '');

sub slip { my $p = shift; $p =~ s/\xdb/\xdb\xdd/g; $p =~ s/\xc0/\xdb\xdc/g; "\xc0$p\xc0" }

sub frame {
    my $packet = shift;
    return $packet unless $tcp;
    return $mode eq 'slip' ? slip($packet) : $osc->to_stream($packet);
}

sub show {
    my $m = $osc->parse(shift);
    my (undef, undef, @args) = @$m;
    print join('|', $m->[0], @args), "\n";
    $received++;
}

# The packets a TCP stream holds so far, whole, in either framing.
sub take_stream {
    if ($mode eq 'slip') {
        while ($stream =~ s/^\xc0*([^\xc0]+)\xc0//) {
            (my $p = $1) =~ s/\xdb\xdc/\xc0/g;
            $p =~ s/\xdb\xdd/\xdb/g;
            show($p);
        }
        return;
    }
    while (length $stream >= 4) {
        my $size = unpack 'N', $stream;
        last if length $stream < 4 + $size;
        show(substr $stream, 4, $size);
        substr($stream, 0, 4 + $size) = '';
    }
}

sub wait_for {
    my $want = shift;
    my $deadline = time + 5;
    while ($received < $want && time < $deadline) {
        next unless $select->can_read(0.2);
        my $data;
        $sock->recv($data, 70000);
        last if $tcp && length $data == 0;
        if ($tcp) { $stream .= $data; take_stream() } else { show($data) }
    }
}

sub message_of {
    my ($address, $types, @args) = split ' ', shift;
    return $osc->message($address, $types // '', @args);
}

$| = 1;
while (my $line = <STDIN>) {
    chomp $line;
    my ($step, $rest) = split ' ', $line, 2;
    if ($step eq 'm') {
        $sock->send(frame(message_of($rest)));
    } elsif ($step eq 'b') {
        my @messages = map { [split ' ', $_] } split /\|/, $rest;
        $sock->send(frame($osc->bundle(0, @messages)));
    } elsif ($step eq 'x') {
        $sock->send(frame(pack 'H*', $rest));
    } elsif ($step eq 'r') {
        $sock->send(pack 'H*', $rest);
    } elsif ($step eq 'f') {
        my ($n, $address) = split ' ', $rest;
        $sock->send(frame($osc->message($address, ''))) for 1 .. $n;
    } elsif ($step eq 'w') {
        wait_for($rest);
    }
}
