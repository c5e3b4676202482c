"""What the end-to-end checks share: running a program (through an emulator, with a file or bytes
on standard input, its streams redirected), failing with a message that names the check,
comparing texts with a diff, the names a binary exports, and binary32 arithmetic done exactly.

The checks are run by /usr/bin/python3: Debian's python3-pefile and python3-pil, which some of
them use, are installed for that interpreter only.
"""
import contextlib
import datetime
import difflib
import os
import shutil
import re
import struct
import subprocess
import sys
from fractions import Fraction

# The check's name, for its messages: the script's file name.
NAME = os.path.splitext(os.path.basename(sys.argv[0]))[0]

# The DLLs every Windows system has; the shipped binaries may import these and no others.
SYSTEM_DLLS = frozenset({"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ntdll.dll"})

# The status of the emulator wrapper (cmake/wine-run) when this machine cannot run the program at
# all, and of a test CTest reports as skipped.
SKIPPED = 77


def fail(message):
    """Ends the check as failed, with the message on standard error."""
    sys.exit(f"{NAME}: {message}")


def skip(reason):
    """Ends the check as skipped: status 77, and "skipped:" for tests that look for the word."""
    print(f"skipped: {reason}", flush=True)
    sys.exit(SKIPPED)


def split_emulator(arguments):
    """(arguments, emulator): everything after --emulator, which comes last, is the emulator's
    command (a program and its own options, as CMake's CMAKE_CROSSCOMPILING_EMULATOR list)."""
    if "--emulator" not in arguments:
        return list(arguments), []
    at = arguments.index("--emulator")
    if at + 1 == len(arguments):
        fail("--emulator needs a program")
    return list(arguments[:at]), list(arguments[at + 1:])


def text_of(data):
    """A program's output as text: UTF-8 (other bytes kept as escapes, so that a comparison still
    sees them), and CR LF as LF (a Windows program's text mode)."""
    return data.decode("utf-8", "surrogateescape").replace("\r\n", "\n")


class Result:
    """A finished run: its status, and its standard output and error as bytes (stdout, stderr)
    and as text (out, err)."""

    def __init__(self, command, status, stdout, stderr):
        self.command, self.status, self.stdout, self.stderr = command, status, stdout, stderr

    @property
    def out(self):
        return text_of(self.stdout)

    @property
    def err(self):
        return text_of(self.stderr)

    def __str__(self):
        return (f"{' '.join(self.command)}: exit {self.status}, stdout {self.stdout[:200]!r}, "
                f"stderr {self.stderr[:2000]!r}")


class Program:
    """A program to run, natively or through an emulator; the label names it in messages."""

    def __init__(self, path, emulator=(), label=None):
        self.path, self.emulator = path, list(emulator)
        self.label = label or os.path.basename(path)

    def run(self, *arguments, stdin=None, stdout=None, cwd=None, redirect=None, timeout=None,
            env=None):
        """Runs the program and returns its Result. stdin: None (an empty input), bytes, or the
        path of a file. stdout: None (captured) or an open file to write to. redirect: shell
        redirections of the program's streams ("2>&-", ">/dev/full", "<file"), applied by sh.
        env: variables to set in the program's environment, or to remove where the value is None.
        Through an emulator, status 77 is the emulator's: the check is skipped."""
        arguments = [str(a) for a in arguments]
        command = [*self.emulator, self.path, *arguments]
        if redirect:
            command = ["sh", "-c", f'exec "$0" "$@" {redirect}', *command]
        options = dict(stdout=subprocess.PIPE if stdout is None else stdout,
                       stderr=subprocess.PIPE, cwd=cwd, timeout=timeout)
        if env is not None:
            options["env"] = {k: v for k, v in {**os.environ, **env}.items() if v is not None}
        with contextlib.ExitStack() as files:
            if isinstance(stdin, (bytes, bytearray)):
                options["input"] = bytes(stdin)
            else:
                options["stdin"] = (subprocess.DEVNULL if stdin is None
                                    else files.enter_context(open(stdin, "rb")))
            finished = subprocess.run(command, **options)
        if self.emulator and finished.returncode == SKIPPED:
            skip(f"{' '.join(self.emulator)} cannot run {self.path}: "
                 f"{text_of(finished.stderr).strip()}")
        return Result([self.label, *arguments], finished.returncode, finished.stdout or b"",
                      finished.stderr)

    def ok(self, *arguments, quiet=False, **options):
        """run(), failing unless the program exits 0 (and, if quiet, writes nothing to stderr)."""
        result = self.run(*arguments, **options)
        if result.status != 0 or (quiet and result.stderr):
            fail(f"{result}; expected exit 0{' and nothing on stderr' if quiet else ''}")
        return result


def diff(actual, expected, actual_label="got", expected_label="expected"):
    """A unified diff of two texts, from the expected to the actual."""
    return "".join(difflib.unified_diff(expected.splitlines(keepends=True),
                                        actual.splitlines(keepends=True),
                                        expected_label, actual_label))


def expect_equal(what, actual, expected):
    """Fails with a diff unless the two texts (or bytes) are equal."""
    if actual == expected:
        return
    if isinstance(actual, bytes) or isinstance(expected, bytes):
        fail(f"{what}: {actual!r}, expected {expected!r}")
    fail(f"{what} differs (- expected, + got):\n{diff(actual, expected)}")


def expect_exports(binary, found, expected):
    """The names a binary exports are exactly the expected ones, in any order."""
    if sorted(found) != sorted(expected):
        fail(f"{binary} exports {sorted(found)}, expected {sorted(expected)}")
    print(f"exports {' '.join(sorted(found))}")


def write_file(path, data):
    """Writes bytes, or text as UTF-8 with its line ends as given."""
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


# binary32: the float of C and of the tool.

def f32(x):
    """The float nearest a Python float (a double): one rounding, so exact."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


def f32_hex(x):
    """The bits of the float nearest x, as --exact prints them: eight hexadecimal digits."""
    return f"{struct.unpack('<I', struct.pack('<f', x))[0]:08x}"


_DECIMAL = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")


def f32_bits_of_decimal(text):
    """The bits of the float nearest a decimal, rounded once, to nearest with ties to even, as
    std::strtof does: exact rational arithmetic, where float(text) then a narrowing to binary32
    would round twice."""
    if not _DECIMAL.fullmatch(text):
        raise ValueError(f"not a decimal: {text!r}")
    sign = 0x80000000 if text.startswith("-") else 0
    value = abs(Fraction(text))
    if value == 0:
        return sign
    # 2^e <= value < 2^(e+1); below 2^-126 the subnormals share the scale of 2^-126.
    e = value.numerator.bit_length() - value.denominator.bit_length()
    while Fraction(2) ** e > value:
        e -= 1
    while Fraction(2) ** (e + 1) <= value:
        e += 1
    e = max(e, -126)
    scaled = value * Fraction(2) ** (23 - e)  # the significand, 24 bits before rounding
    mantissa, rest = divmod(scaled.numerator, scaled.denominator)
    if 2 * rest > scaled.denominator or (2 * rest == scaled.denominator and mantissa & 1):
        mantissa += 1
    if mantissa < 1 << 23:  # a subnormal (or zero): exponent field 0
        return sign | mantissa
    # A significand rounded up to 2^24 carries into the exponent field, as it should; past the
    # largest float it reaches infinity.
    return sign | min(((e + 127) << 23) + mantissa - (1 << 23), 0x7F800000)


def trading_days(count, last=datetime.date(2026, 12, 4)):
    """The last count weekdays up to last, oldest first: a terminal's dates without holidays."""
    days, day = [], last
    while len(days) < count:
        if day.weekday() < 5:
            days.append(day)
        day -= datetime.timedelta(days=1)
    return days[::-1]


def browser(chromium, work, *arguments, timeout=180):
    """Headless Chromium in a fresh profile under work, quiet on the network; its standard output."""
    profile = os.path.join(work, "profile")
    shutil.rmtree(profile, ignore_errors=True)
    os.makedirs(profile)
    r = Program(chromium).run("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                              "--no-first-run", "--disable-background-networking",
                              "--disable-component-update", "--disable-sync",
                              f"--user-data-dir={profile}", *arguments, timeout=timeout)
    if r.status != 0:
        fail(f"chromium {arguments}: exit {r.status}: {r.err[-2000:]}")
    return r.out
