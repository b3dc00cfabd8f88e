# The run record of a sweep (MANIFEST.run.json): which build ran which point how, on what,
# when, from which inputs. Sourced by sweep-run.sh and sweep-slurm.sh.

# Writes the run record as JSON, whole or not at all (a temporary beside it, then a rename).
# Perl comes with GNU parallel, and with it JSON::PP and Digest::SHA. Names are read as
# UTF-8, a stray byte becoming U+FFFD, so the record is always valid JSON.
# usage: writeRunRecord WHO RECORD MANIFEST JOBLOG RESULTS START EPOCH END JOBS THREADS
#                       CHECKPOINT RESUME MACHINES FALLBACK_MORPHSWEEP TEMPLATE...
# WHO names the script in its messages. JOBLOG is in GNU parallel's --joblog layout (a head
# line, then Seq, Host, Starttime, JobRuntime, Send, Receive, Exitval, Signal, Command);
# rows starting at or after EPOCH are this run's.
writeRunRecord() {
  perl -we '
    use strict;
    use Cwd qw(getcwd);
    use Digest::SHA;
    use Encode qw(decode);
    use JSON::PP;
    use POSIX qw(strftime);
    use Sys::Hostname;
    use Text::ParseWords qw(shellwords);
    my ($who, $record, $manifest, $joblog, $resultsFile, $start, $epoch, $end, $jobs, $threads, $checkpoint, $resume,
        $machines, $fallback, @templates) = @ARGV;
    sub text { return defined $_[0] ? decode("UTF-8", $_[0]) : undef }
    sub lines {  # a file as lines without their ends
      open(my $in, "<:raw", $_[0]) or return ();
      return map { s/\n\z//r } <$in>;
    }
    sub digest {  # the SHA-256 of a file, or undef when it cannot be read
      open(my $in, "<:raw", $_[0]) or return undef;
      return Digest::SHA->new(256)->addfile($in)->hexdigest;
    }
    sub answer {  # the first line a program prints for one word (its errors unseen), or ""
      my ($program, $word) = @_;
      my $pid = open(my $out, "-|") // return "";
      if (!$pid) {
        open(STDERR, ">", "/dev/null");
        no warnings "exec";
        exec($program, $word) or POSIX::_exit(127);
      }
      my $line = <$out> // "";
      close($out) or return "";
      chomp $line;
      return $line;
    }
    # Only the latest job log row of each line is kept, as it is: a record of a million
    # points is written one point at a time, never held whole.
    my %latest;
    my $log;
    open($log, "<:raw", $joblog) or $log = undef;
    while ($log && defined(my $row = <$log>)) {
      chomp $row;
      my @f = split(/\t/, $row, 9);
      $latest{$f[0]} = $row if @f == 9 && $f[0] =~ /^[0-9]+$/ && $f[6] =~ /^-?[0-9]+$/ && $f[7] =~ /^[0-9]+$/;
    }
    open(my $calls, "<:raw", $manifest) or die "$who: cannot read $manifest: $!\n";
    my ($first, $count) = (undef, 0);
    while (defined(my $call = <$calls>)) { $first //= $call; ++$count }
    my %counts = (ok => 0, failed => 0, notRun => 0);
    for my $i (1 .. $count) {
      my $row = $latest{$i};
      if (!defined $row) { $counts{notRun}++; next }
      my @f = split(/\t/, $row, 9);
      $counts{$f[6] == 0 && $f[7] == 0 ? "ok" : "failed"}++;
    }
    # The morphsweep the lines call (or the morphseed of a growth sweep) names its build and its
    # kernel unit; failing that, the build of these scripts does. morphseed has the same
    # kernel as the morphsweep of its build, which tells the unit.
    my ($program) = defined $first ? shellwords($first) : ();
    my $version = defined $program ? answer($program, "--version") : "";
    ($program, $version) = ($fallback, answer($fallback, "--version")) unless $version =~ /^morph(sweep|seed) /;
    my $growth = $version =~ /^morphseed /;
    my ($release, $commit) = $version =~ /^morph(?:sweep|seed) (\S+)(?: \(commit (.+)\))?$/;
    my ($processor) = map { /^model name\s*:\s*(.*)$/ ? $1 : () } lines("/proc/cpuinfo");
    my @inputs = map { {file => text($_), role => $growth ? "seed" : "template", sha256 => digest($_)} } @templates;
    push @inputs, {file => text($manifest), role => "manifest", sha256 => digest($manifest)};
    my %run = (
      manifest => text($manifest), folder => text(getcwd()), program => text($program),
      release => text($release // ""), commit => text($commit // ""),
      unit => text(answer($growth ? $fallback : $program, "--unit")),
      processor => text($processor // ""), host => text(hostname()),
      threads => $threads + 0, jobs => $jobs + 0, checkpoint => $checkpoint + 0,
      resumeFailed => $resume ? JSON::PP::true : JSON::PP::false, machines => $machines eq "" ? undef : text($machines),
      start => $start, end => $end, status => $counts{failed} || $counts{notRun} ? "failed" : "ok",
      counts => \%counts, inputs => \@inputs);
    # The run, then its points last, one a line.
    my $head = JSON::PP->new->utf8->canonical->pretty->encode(\%run);
    $head =~ s/\n\}\n\z/,\n   "points" : [\n/ or die "$who: the run record came out unlike itself\n";
    my $line = JSON::PP->new->utf8->canonical;
    my $temporary = "$record.tmp$$";
    my $out;
    my $written = open($out, ">:raw", $temporary) && print {$out} $head;
    seek($calls, 0, 0);
    my $names;
    open($names, "<:raw", $resultsFile) or $names = undef;
    for my $i (1 .. $count) {
      last unless $written;
      my $call = <$calls> // "";
      my $result = ($names ? <$names> : undef) // "";
      chomp($call, $result);
      my %point = (point => $i + 0, result => text($result), command => text($call), status => "not run");
      if (defined(my $row = $latest{$i})) {
        my @f = split(/\t/, $row, 9);
        my $ok = $f[6] == 0 && $f[7] == 0;
        %point = (%point, status => $ok ? "ok" : "failed", command => text($f[8]), host => text($f[1]),
                  exit => $f[6] + 0, signal => $f[7] + 0, seconds => $f[3] + 0,
                  started => strftime("%Y-%m-%dT%H:%M:%SZ", gmtime($f[2])),
                  thisRun => $f[2] >= $epoch ? JSON::PP::true : JSON::PP::false);
      }
      $written = print {$out} "      ", $line->encode(\%point), $i < $count ? ",\n" : "\n";
    }
    unless ($written and print {$out} "   ]\n}\n" and close($out) and rename($temporary, $record)) {
      my $why = $!;
      unlink $temporary;
      print STDERR "$who: cannot write the run record $record: $why\n";
      exit 1;
    }
  ' "$@"
}
