#include "Usage.h"

#include <ostream>

namespace mirantos::cli {

const char* const kMainUsage =
    "Usage: mirantos-cli <command> [options]\n"
    "\n"
    "Commands:\n"
    "  measure   run a measurement on the MIRANTOS Board (or the simulated one)\n"
    "  stats     print the statistics readout of a .DTA file\n"
    "  plot      render the graph of a .DTA file as a PNG picture\n"
    "  capture   stream a long run (up to 1048575 samples) to a CSV file\n"
    "  export    write the samples of a .DTA file or a capture as CSV\n"
    "  view      render a capture or a .DTA file as the trace viewer shows it (PNG)\n"
    "  analyze   noise figures, histogram and noise density of a .DTA file or a capture\n"
    "  compare   the noise figures of 2 to 8 files side by side, each against the first\n"
    "  report    the noise report of 1 to 8 files as an A4 PDF\n"
    "  test      a noise test: the verdict of a limits file on the board, stored\n"
    "  results   the stored test runs, or the trend of one figure\n"
    "\n"
    "  mirantos-cli <command> --help   options of a command\n"
    "  mirantos-cli --version          program version\n";

const char* const kMeasureUsage =
    "Usage: mirantos-cli measure [--board usb|sim] [--rate TEXT] [--count N]\n"
    "                            [--channels ch0|ch1|both] [--filter sinc3|sinc5]\n"
    "                            [--unit code|uv] [--seed N] [--device SERIAL]\n"
    "                            [--sim-flicker NV] [--sim-drift UV_H] [--sim-pickup UV]\n"
    "                            [-o FILE] [--force] [--png FILE]\n"
    "\n"
    "Connects to the board, configures it and acquires one data set, then prints\n"
    "the statistics readout (for both channels the CH0 line, then the CH1 line).\n"
    "Ctrl-C stops the run like the stop button: from 10 samples on they are kept.\n"
    "\n"
    "  --board usb|sim     the board on USB (default) or the simulated board\n"
    "  --rate TEXT         a rate of the list or its index 0..13 (default 10sps):\n"
    "                      5sps, 10sps, \"16.66 / 16.67sps\", 20sps, \"49.96 / 50sps\",\n"
    "                      \"59.92 / 60sps\", 100sps, 200sps, \"397.5 /400sps\", 500sps,\n"
    "                      1ksps, 2.5ksps, 5ksps, 10ksps\n"
    "  --count N           100, 200, 500, 1000 (default), 2000, 5000 or 10000\n"
    "  --channels C        ch0 (default), ch1 or both\n"
    "  --filter F          sinc3 (default) or sinc5 (Sinc5+Sinc1)\n"
    "  --unit U            readout in code (default, digit) or uv (microvolts)\n"
    "  --seed N            seed of the simulated board (--board sim only)\n"
    "  --sim-flicker NV    the simulated input's 1/f noise, NV nV/sqrt(Hz) at 1 Hz\n"
    "                      (0 to 100000; default 0, off; --board sim only)\n"
    "  --sim-drift UV_H    its linear drift in uV per hour from the start of the run\n"
    "                      (-1000000 to 1000000; default 0; --board sim only)\n"
    "  --sim-pickup UV     its 50 Hz mains pickup, amplitude in uV (0 to 1000000;\n"
    "                      default 0; --board sim only)\n"
    "  --device SERIAL     the USB board with this FTDI serial number (SERIAL:B for\n"
    "                      interface B of a dual-channel chip); by default the first\n"
    "                      whose product string starts with MIRANTOS, else the first\n"
    "                      FTDI device\n"
    "  -o FILE             save the data set (\".DTA\" is appended unless FILE ends in it)\n"
    "  --force             replace FILE and the picture when they exist\n"
    "  --png FILE          render the graph as PNG, as the plot command does\n"
    "\n"
    "Exit status: 0 done, 1 file error, 2 usage error, 3 board error, 130 stopped by\n"
    "Ctrl-C, SIGTERM or SIGHUP (as by the stop button).\n";

const char* const kCaptureUsage =
    "Usage: mirantos-cli capture [--board usb|sim] [--rate TEXT] [--filter sinc3|sinc5]\n"
    "                            [--channels ch0|ch1|both] (--samples N | --duration D)\n"
    "                            [--seed N] [--sim-flicker NV] [--sim-drift UV_H]\n"
    "                            [--sim-pickup UV] [--device SERIAL] [--force] -o FILE.csv\n"
    "\n"
    "Runs the board as measure does, with any count the board takes, and streams\n"
    "every sample to FILE as it arrives (memory does not grow with the count).\n"
    "FILE is CSV in the C locale: \"#\" comment lines with the settings, the board\n"
    "and the UTC start time, the header of export, one line per sample, and a last\n"
    "line \"# end: complete|stopped|read error|write error, samples=N\".\n"
    "Ctrl-C stops the run like the stop button and keeps every sample; FILE is\n"
    "touched only with the first sample, so a stop before it leaves no new file\n"
    "and a replaced one as it was.\n"
    "\n"
    "  --board usb|sim     the board on USB (default) or the simulated board\n"
    "  --rate TEXT         a rate of the list or its index 0..13 (default 10sps)\n"
    "  --filter F          sinc3 (default) or sinc5 (Sinc5+Sinc1)\n"
    "  --channels C        ch0 (default), ch1 or both\n"
    "  --samples N         samples per channel, 10 to 1048575\n"
    "  --duration D        the count for D at the rate: 90s, 15m, 2h\n"
    "  --seed N            seed of the simulated board (--board sim only)\n"
    "  --sim-flicker NV    the simulated input's 1/f noise, NV nV/sqrt(Hz) at 1 Hz\n"
    "                      (0 to 100000; default 0, off; --board sim only)\n"
    "  --sim-drift UV_H    its linear drift in uV per hour from the start of the run\n"
    "                      (-1000000 to 1000000; default 0; --board sim only)\n"
    "  --sim-pickup UV     its 50 Hz mains pickup, amplitude in uV (0 to 1000000;\n"
    "                      default 0; --board sim only)\n"
    "  --device SERIAL     the USB board with this FTDI serial number, as for measure\n"
    "  --force             replace FILE when it exists\n"
    "  -o FILE             the capture file\n"
    "\n"
    "Exit status: 0 done, 1 file error, 2 usage error, 3 board error, 130 stopped by\n"
    "Ctrl-C, SIGTERM or SIGHUP (as by the stop button).\n";

const char* const kStatsUsage =
    "Usage: mirantos-cli stats [--unit code|uv] [--channel 0|1] FILE\n"
    "\n"
    "Loads FILE as the window's load command does and prints the statistics\n"
    "readout of a channel: CH0 by default for CH0 and two-channel files, CH1 for\n"
    "CH1 files.\n"
    "\n"
    "  --unit U            code (default, digit) or uv (microvolts)\n"
    "  --channel 0|1       the channel to show\n"
    "\n"
    "Exit status: 0 done, 1 the file is rejected or lacks the channel, 2 usage error.\n";

const char* const kPlotUsage =
    "Usage: mirantos-cli plot [--unit code|uv] [--size WxH] [--bitmap-only] [--force]\n"
    "                         FILE -o OUT.png\n"
    "       mirantos-cli plot [--unit code|uv] [--size WxH] --axes FILE\n"
    "\n"
    "Renders the window's graph area after loading FILE: the graph bitmap with the\n"
    "Y labels to its left and the X labels below it.\n"
    "\n"
    "  --unit U            Y axis in code (default) or uv (microvolts)\n"
    "  --size WxH          size of the graph area (default 560x417)\n"
    "  --bitmap-only       write only the graph bitmap (WxH less a 1-pixel frame)\n"
    "  --axes              print the eleven Y-label texts (top to bottom) and the two\n"
    "                      X-label texts, one per line, instead of writing a picture\n"
    "  -o OUT.png          the picture to write\n"
    "  --force             replace OUT.png when it exists\n"
    "\n"
    "Exit status: 0 done, 1 the file is rejected or the picture cannot be written, 2 usage "
    "error.\n";

const char* const kViewUsage =
    "Usage: mirantos-cli view [--channel 0|1|both] [--from S] [--to S] [--size WxH]\n"
    "                         [--unit code|uv] [--force] FILE -o OUT.png\n"
    "\n"
    "FILE is a capture or a .DTA file (told by its first line). Renders the picture\n"
    "the window's trace viewer shows: every sample's extremes per pixel column, the\n"
    "time axis in seconds, the Y axis fit to the samples shown.\n"
    "\n"
    "  --channel C         0, 1 or both (default: every channel the file holds)\n"
    "  --from S, --to S    the time span in seconds (default: the whole record)\n"
    "  --size WxH          picture size (default 1000x500, W from 160, H from 100)\n"
    "  --unit U            Y axis in code (default) or uv (microvolts)\n"
    "  -o OUT.png          the picture to write\n"
    "  --force             replace OUT.png when it exists\n"
    "\n"
    "Exit status: 0 done, 1 the file is rejected or the picture cannot be written, 2 usage "
    "error.\n";

const char* const kExportUsage =
    "Usage: mirantos-cli export FILE [-o OUT.csv] [--force]\n"
    "\n"
    "FILE is a .DTA file or a capture (told by its first line).\n"
    "Writes the samples of FILE as CSV (to standard output without -o or with\n"
    "-o -): a header index,ch0_code,ch0_uV,ch1_code,ch1_uV with the channels the\n"
    "file holds, then one line per sample, counted from 1. Microvolts are the\n"
    "record's 32-bit values with the digits needed to read them back exactly; a\n"
    "capture's are doubles, as in the capture file.\n"
    "\n"
    "  -o OUT.csv          the CSV file to write; never FILE itself\n"
    "  --force             replace OUT.csv when it exists\n"
    "\n"
    "Exit status: 0 done, 1 the file is rejected or the CSV cannot be written, 2 usage error.\n";

const char* const kAnalyzeUsage =
    "Usage: mirantos-cli analyze [--channel 0|1] [--bins B] [--segment L]\n"
    "                            [--window blackman-harris|hann|rect] [--band F1:F2]\n"
    "                            [--json] [--histogram-csv OUT] [--spectrum-csv OUT]\n"
    "                            [--allan-csv OUT] [--lf-csv OUT] [--png OUT]\n"
    "                            [--force] FILE\n"
    "\n"
    "Loads FILE, a .DTA file (as the stats command does) or a capture (every sample,\n"
    "at the rate of its comment lines), and prints the noise figures of a channel\n"
    "(CH0 by default for CH0 and two-channel files, CH1 for CH1 files), computed in\n"
    "double precision from the codes: mean, rms and peak-to-peak noise in codes and\n"
    "microvolts, effective and noise-free bits, the histogram of codes, and the\n"
    "noise spectral density by Welch's method (half-overlapping segments, each less\n"
    "its own mean) with its median and the rms over a band. The rate is the one of\n"
    "the file's rate index and filter. Then the low-frequency figures: the drift\n"
    "(least-squares slope, uV/h), the overlapping Allan deviation for averages of\n"
    "1, 2, 4, ... samples while 4m <= N, and the 0.1-10 Hz noise (2nd-order\n"
    "Butterworth high-pass at 0.1 Hz, 4th-order low-pass at 10 Hz, the first 20 s\n"
    "dropped, median and largest peak-to-peak of 10 s intervals, rms), which needs\n"
    "at least 49.96 sps and 30 s of samples; the drift too needs 30 s. A density\n"
    "median from fewer than 8 segments carries a note: it reads low.\n"
    "\n"
    "  --channel 0|1       the channel to analyse\n"
    "  --bins B            at most B histogram bins, 1..1000 (default 100)\n"
    "  --segment L         Welch segment length, 8..N (default: the largest power of\n"
    "                      two not above N/4, at least 8)\n"
    "  --window W          blackman-harris (default, 4-term), hann or rect\n"
    "  --band F1:F2        band of the band rms in Hz, within 0..rate/2 (default all)\n"
    "  --json              one JSON object instead of the table\n"
    "  --histogram-csv OUT the histogram as first_code,last_code,count\n"
    "  --spectrum-csv OUT  the density as f_Hz,nsd_nV_per_rtHz\n"
    "  --allan-csv OUT     the Allan deviation as tau_s,adev_uV,terms\n"
    "  --lf-csv OUT        the 0.1-10 Hz filtered samples kept as t_s,uV (t from the\n"
    "                      record's start); an error when that figure is not defined\n"
    "  --png OUT           the histogram, density, Allan deviation and 0.1-10 Hz\n"
    "                      plots as one PNG picture\n"
    "  --force             replace output files that exist\n"
    "\n"
    "Every file is written whole or not at all, never over FILE. A CSV OUT of \"-\"\n"
    "goes to standard output instead of the table (not together with --json).\n"
    "Exit status: 0 done, 1 the file is rejected, lacks the channel or holds fewer\n"
    "than 10 samples, or an output exists or cannot be written; 2 usage error.\n";

const char* const kCompareUsage =
    "Usage: mirantos-cli compare [--channel 0|1] [--bins B] [--segment L]\n"
    "                            [--window blackman-harris|hann|rect] [--band F1:F2]\n"
    "                            [--label TEXT]... [--json] [--png OUT]\n"
    "                            [--pdf OUT.pdf [--title TEXT]] [--force]\n"
    "                            FILE1 FILE2 [FILE3 ... FILE8]\n"
    "\n"
    "Analyses each FILE as analyze does (same options, same checks) and prints one\n"
    "column per file: the settings, every figure, and for the second file on its\n"
    "difference to the first: rms and peak-to-peak in % (100 (x/x1 - 1)) and in dB\n"
    "(20 log10(x/x1)), the noise density median in dB, the resolution in bits.\n"
    "Files at different rates are compared as they are; when a file's bandwidth\n"
    "(0 to rate/2, and the filter) is not the first's, the differences say so.\n"
    "Without --channel each file's own readout channel is used; with it, a file\n"
    "lacking it is an error.\n"
    "\n"
    "  --label TEXT        the name of the next file's column (default: its base\n"
    "                      name); once per file, in order, at most one per file\n"
    "  --json              {\"files\": [analyze's object of each file], \"reference\": 0,\n"
    "                      \"differences\": [{file, rms_pct, rms_dB, pp_pct, pp_dB,\n"
    "                      nsd_median_dB, effective_bits, noise_free_bits,\n"
    "                      bandwidth_differs}...]}\n"
    "                      instead of the table (null where a ratio has no value)\n"
    "  --png OUT           the noise densities, the histograms as probability\n"
    "                      density and the Allan deviations overlaid, one colour per\n"
    "                      file, with a legend of the labels\n"
    "  --pdf OUT.pdf       the A4 noise report (as the report command writes it)\n"
    "  --title TEXT        the report's title\n"
    "  --force             replace output files that exist\n"
    "  (--channel, --bins, --segment, --window, --band: as for analyze)\n"
    "\n"
    "Every file is written whole or not at all, never over an input FILE.\n"
    "Exit status: 0 done, 1 a file is rejected, lacks the channel or holds fewer\n"
    "than 10 samples, or an output exists or cannot be written; 2 usage error.\n";

const char* const kReportUsage =
    "Usage: mirantos-cli report [--channel 0|1] [--bins B] [--segment L]\n"
    "                           [--window blackman-harris|hann|rect] [--band F1:F2]\n"
    "                           [--label TEXT]... [--title TEXT] [--force]\n"
    "                           -o OUT.pdf FILE1 [FILE2 ... FILE8]\n"
    "\n"
    "Analyses each FILE as compare does and writes the noise report as an A4 PDF:\n"
    "title, date, program version and host name; the settings and figures tables\n"
    "with each file's difference to the first; the overlaid noise densities,\n"
    "histograms and Allan deviations; each file's 0.1-10 Hz trace where defined.\n"
    "\n"
    "  -o, --output OUT.pdf  the PDF to write (never \"-\", never an input FILE)\n"
    "  --title TEXT        the report's title (default: a title of the program's)\n"
    "  --label TEXT        the name of the next file (default: its base name)\n"
    "  --force             replace OUT.pdf when it exists\n"
    "  (--channel, --bins, --segment, --window, --band: as for analyze)\n"
    "\n"
    "The PDF is written whole or not at all.\n"
    "Exit status: 0 done, 1 a file is rejected, lacks the channel or holds fewer\n"
    "than 10 samples, or the PDF exists or cannot be written; 2 usage error.\n";

const char* const kTestUsage =
    "Usage: mirantos-cli test --limits FILE --serial TEXT [--operator TEXT]\n"
    "                         [--station NAME] [--db URL] [--junit FILE] [--force]\n"
    "                         [--keep-data DIR] [--board usb|sim] [--device SERIAL]\n"
    "                         [--seed N] [--sim-flicker NV] [--sim-drift UV_H]\n"
    "                         [--sim-pickup UV]\n"
    "\n"
    "Runs the board with the settings of the limits FILE (a count of measure's list\n"
    "as measure does, any other count as capture does), analyses every measured\n"
    "channel as analyze does, checks each limit and prints the verdict table:\n"
    "channel, figure, value, limit, PASS/FAIL and the margin in percent of the\n"
    "limit. The result is stored in the results database; when a server cannot be\n"
    "reached it is kept in the local file and sent with the next run (or by the\n"
    "results command). The run's progress and readout go to standard error. A run\n"
    "that ended in a read error is judged on the samples it kept but fails as a\n"
    "whole: \"read error: REASON\" in the verdict, a failed read_error row in the\n"
    "database, an <error> in the JUnit file, exit status 3.\n"
    "\n"
    "  --limits FILE       the test: name, version, settings and limits (JSON)\n"
    "  --serial TEXT       the serial number of the board under test\n"
    "  --operator TEXT     who ran the test\n"
    "  --station NAME      the station's name (default: the host name)\n"
    "  --db URL            the results database: a file (default\n"
    "                      $XDG_DATA_HOME/mirantos/results.sqlite), sqlite:FILE, or\n"
    "                      postgresql://USER@HOST[:PORT]/DB (the password from\n"
    "                      ~/.pgpass or PGPASSWORD, never in the URL)\n"
    "  --junit FILE        write the verdict as JUnit XML, one test case per limit\n"
    "  --force             replace the JUnit file when it exists\n"
    "  --keep-data DIR     keep the raw data file in DIR, named by the serial number\n"
    "                      and the start time (\"-2\", \"-3\" ... for another run of\n"
    "                      the serial in the same second); the database records\n"
    "                      its path and SHA-256 (without it, the data is kept only\n"
    "                      when the result cannot be stored, in\n"
    "                      $XDG_DATA_HOME/mirantos/unsaved)\n"
    "  --board, --device, --seed, --sim-flicker, --sim-drift, --sim-pickup\n"
    "                      as for measure, over the limits file's board; the rate,\n"
    "                      filter, channels and count are the limits file's\n"
    "\n"
    "Exit status: 0 every limit holds, 4 a limit fails, 1 file error (the limits\n"
    "file is refused, the JUnit file or the result could not be written), 2 usage\n"
    "error, 3 board error, 130 stopped by Ctrl-C, SIGTERM or SIGHUP.\n";

const char* const kResultsUsage =
    "Usage: mirantos-cli results [--db URL] [--serial S] [--test NAME] [--since DATE]\n"
    "                            [--failed] [--figure NAME] [--csv|--json]\n"
    "                            [--limit N] [--offset N] [--after UUID]\n"
    "       mirantos-cli results --sync --db postgresql://USER@HOST/DB\n"
    "\n"
    "Lists the stored test runs, oldest first: start (UTC), serial, test, version,\n"
    "verdict, failed limits, operator, station and the run's uuid. With --figure,\n"
    "the trend of one figure instead: start, serial, channel, value, limits, verdict.\n"
    "\n"
    "  --db URL            the results database, as for test\n"
    "  --serial S          runs of this serial number only\n"
    "  --test NAME         runs of this test only\n"
    "  --since DATE        runs started at or after DATE (2026-12-01, or a UTC time\n"
    "                      2026-12-01T08:00:00Z)\n"
    "  --failed            failed runs only\n"
    "  --figure NAME       the trend of a figure (analyze's JSON name: rms_uV,\n"
    "                      noise_free_bits, lf_0p1_10Hz.pp_uV_median, ...)\n"
    "  --csv, --json       CSV or JSON instead of the table\n"
    "  --sync              send the results kept in the local file while the server\n"
    "                      could not be reached\n"
    "  --limit N           show at most N rows (default 1000; 0: all); when more\n"
    "                      follow, standard error names the next page\n"
    "  --offset N          skip the first N rows\n"
    "  --after UUID        the runs listed after this one (the next page)\n"
    "\n"
    "Control characters in stored texts are shown as \\xNN in the table; a CSV cell\n"
    "that a spreadsheet would take as a formula (= + - @) starts with '.\n"
    "\n"
    "Exit status: 0 done, 1 the database cannot be read (or the server reached),\n"
    "2 usage error.\n";

int UsageError(CliIo io, std::string_view problem, const char* usage)
{
    io.err << "mirantos-cli: " << problem << "\n\n" << usage << std::flush;
    return kExitUsage;
}

int PrintHelp(CliIo io, const char* usage)
{
    io.out << usage << std::flush;
    return kExitOk;
}

int Fail(CliIo io, std::string_view problem, int code)
{
    io.err << "mirantos-cli: " << problem << '\n' << std::flush;
    return code;
}

bool ParseCommandArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                      const char* usage, CliIo io, ParsedArgs& parsed, int& code)
{
    std::string error;
    if (!ParseArgs(args, specs, parsed, error)) {
        code = UsageError(io, error, usage);
        return false;
    }
    if (parsed.help) {
        code = PrintHelp(io, usage);
        return false;
    }
    return true;
}

} // namespace mirantos::cli
