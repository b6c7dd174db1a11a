#!/usr/bin/env python3
"""The golden-output check: runs every case of a corpus (tests/golden/corpus.txt)
against one build and compares what it prints, on standard output and standard
error, and its exit status with what the corpus records beside the case. With
--record it writes what the build printed in their place instead, keeping
everything else of the file (comments included) as it is.

Each store of the corpus is built once, through dovetune-reg's import of a .reg
file made from its lines (or, for the Windows build, through Wine's regedit),
and every case runs on a fresh copy of its store, several at once on the
SQLite store. Three ways to run:

  --store sqlite   the native build on its own SQLite store
  --store prefix   the native build on a fresh Wine prefix's user.reg
  --store windows  dovetune.exe under Wine, on Wine's own registry

A case marked "not=STORE,..." is left out on those stores.
"""

import argparse
import concurrent.futures
import difflib
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

PRODUCT_KEY = "HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel"
MAKER_KEY = "HKEY_CURRENT_USER\\Software\\Orvane"
CURRENT_KEY = "Zelvo (HE-AAC)"
FACTORY = [("DefBitRate", 128), ("DefVbrMode", 6), ("DefCodecQuality", 1),
           ("DefAacProfile", 5), ("DefUsePNS", 0), ("DefDownmix", 0),
           ("DefMuxIntoVideo", 0), ("DefExportAAC", 0), ("DefHintForStreaming", 0),
           ("DefOptimize", 0)]
STORES = ("sqlite", "prefix", "windows")
WINE_TOOLS = "/usr/lib/wine"


class CorpusError(Exception):
    pass


def expand(text):
    """{TEXT*N} stands for TEXT repeated N times: names too long to write out."""
    return re.sub(r"\{([^{}*]+)\*(\d+)\}", lambda m: m.group(1) * int(m.group(2)), text)


# --- the corpus file ------------------------------------------------------


class Case:
    def __init__(self, line_number, header, store, skip, args):
        self.line_number = line_number
        self.header = header
        self.store = store
        self.skip = skip
        self.args = args
        self.comments = []
        self.expected = []  # the recorded lines, as in the file

    def title(self):
        return "line %d: %s" % (self.line_number, self.header)


def parse_case_header(number, line):
    head, colon, command = line[len("case "):].partition(":")
    if not colon:
        raise CorpusError("line %d: a case reads 'case STORE: ARGUMENTS'" % number)
    words = head.split()
    skip = set()
    for option in words[1:]:
        if not option.startswith("not="):
            raise CorpusError("line %d: unknown case option %r" % (number, option))
        skip.update(option[len("not="):].split(","))
    if not words or not skip <= set(STORES):
        raise CorpusError("line %d: a case needs a store, and not= takes %s" %
                          (number, ", ".join(STORES)))
    args = [expand(word) for word in shlex.split(command)]
    return Case(number, line, words[0], skip, args)


def read_corpus(path):
    """The file as a list of items: verbatim lines, store definitions (name and
    their lines) and cases; and the stores by name."""
    items = []
    stores = {}
    current_store = None
    case = None
    with open(path, encoding="utf-8", errors="surrogateescape") as corpus:
        lines = corpus.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    for number, line in enumerate(lines, 1):
        if case is not None and line.startswith(("=", "|", "!")):
            case.expected.append(line)
            continue
        if case is not None and line.startswith("#") and not case.expected:
            case.comments.append(line)
            continue
        case = None
        if current_store is not None and line.startswith("  "):
            stores[current_store].append((number, line.strip()))
            items.append(line)
            continue
        current_store = None
        if line.startswith("store "):
            current_store = line.split()[1]
            if current_store in stores:
                raise CorpusError("line %d: store %s defined twice" % (number, current_store))
            stores[current_store] = []
            items.append(line)
        elif line.startswith("case "):
            case = parse_case_header(number, line)
            items.append(case)
        elif line == "" or line.startswith("#"):
            items.append(line)
        else:
            raise CorpusError("line %d: not a store, a case or a comment: %r" % (number, line))
    for item in items:
        if isinstance(item, Case) and item.store not in stores:
            raise CorpusError("%s: no store %s" % (item.title(), item.store))
    return items, stores


def write_corpus(path, items):
    with open(path, "w", encoding="utf-8", errors="surrogateescape") as corpus:
        for item in items:
            if isinstance(item, Case):
                corpus.write("\n".join([item.header] + item.comments + item.expected) + "\n")
            else:
                corpus.write(item + "\n")


# --- stores: from their lines to a .reg file --------------------------------


def reg_data(text):
    """A value's data as a .reg file writes it: a number is a REG_DWORD;
    sz:TEXT a REG_SZ; hex:... and hex(N):... are taken as they are."""
    if text.startswith("sz:"):
        return '"%s"' % text[3:].replace("\\", "\\\\").replace('"', '\\"')
    if text.startswith("hex"):
        return text
    number = int(text, 0)
    if not -(1 << 31) <= number < (1 << 32):
        raise CorpusError("%s does not fit in 32 bits" % text)
    return "dword:%08x" % (number & 0xFFFFFFFF)


def settings(start, words, index=None):
    values = dict(start)
    for word in words:
        if word.startswith("-"):
            values.pop(word[1:], None)
            continue
        name, equals, data = word.partition("=")
        if not equals:
            raise CorpusError("a setting reads NAME=DATA or -NAME: %r" % word)
        if index is not None:
            data = data.replace("#", str(index))
        values[name] = data
    return values


def store_keys(lines):
    """The keys beneath the product key that the store's lines make, in order,
    each with its values; and the command lines of the build itself that make
    the rest of the store once they are imported."""
    keys = []
    commands = []
    factory = [(name, str(value)) for name, value in FACTORY]
    for number, line in lines:
        if line.startswith("#"):
            continue
        words = [expand(word) for word in shlex.split(line)]
        try:
            kind, rest = words[0], words[1:]
            if kind == "preset":
                keys.append(("Presets\\" + rest[0], settings(factory, rest[1:])))
            elif kind == "current":
                keys.append((CURRENT_KEY, settings(factory, rest)))
            elif kind == "key":
                keys.append((rest[0], settings([], rest[1:])))
            elif kind == "dovetune":
                commands.append(rest)
            elif kind == "presets":
                count, prefix = int(rest[0]), rest[1]
                for i in range(1, count + 1):
                    keys.append(("Presets\\%s%04d" % (prefix, i),
                                 settings(factory, rest[2:], index=i)))
            else:
                raise CorpusError("unknown store line")
        except (CorpusError, IndexError, ValueError) as error:
            raise CorpusError("line %d: %s: %s" % (number, line, error))
    return keys, commands


def reg_file_text(keys, delete_first=False):
    """A .reg file of the keys. Values go in the order of their lower-case
    names: the order Wine lists them in, so that every store lists them alike."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    if delete_first:
        lines += ["[-%s]" % MAKER_KEY, ""]
    for path, values in keys:
        lines.append("[%s\\%s]" % (PRODUCT_KEY, path))
        for name in sorted(values, key=str.lower):
            lines.append('"%s"=%s' % (name, reg_data(values[name])))
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


# --- running a build ----------------------------------------------------------


def run(argv, env):
    """The exit status, standard output and standard error of a run. They are
    caught in files, not pipes: a wineserver that a Wine run starts keeps
    whatever it inherits open long after the run."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        status = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=err).returncode
        out.seek(0)
        err.seek(0)
        return status, out.read(), err.read()


def checked(argv, env, what):
    status, out, err = run(argv, env)
    if status != 0:
        raise RuntimeError("%s failed (%d): %s%s" % (what, status, out.decode(errors="replace"),
                                                    err.decode(errors="replace")))


class Native:
    """The native build, on a SQLite store or on a Wine prefix's user.reg."""

    def __init__(self, args, work):
        self.dovetune = os.path.abspath(args.dovetune)
        self.reg = os.path.abspath(args.reg)
        self.prefix = args.store == "prefix"
        self.work = work
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": work + "/home",
                    "TMPDIR": work + "/tmp", "LC_ALL": "C.UTF-8",
                    "XDG_CONFIG_HOME": work + "/home/.config", "WINEDEBUG": "-all",
                    "WINEPREFIX": work + "/no-prefix"}
        os.makedirs(work + "/home")
        os.makedirs(work + "/tmp")
        self.empty_user_reg = make_fresh_prefix(work, self.env) if self.prefix else None

    def store_path(self, folder):
        return folder if self.prefix else folder + "/registry.db"

    def build_store(self, name, keys, commands):
        folder = "%s/stores/%s" % (self.work, name)
        os.makedirs(folder)
        env = dict(self.env, DOVETUNE_REGISTRY=self.store_path(folder))
        if self.prefix:
            shutil.copy(self.empty_user_reg, folder + "/user.reg")
        else:
            # Makes the store file, so that no case's run is the one that does.
            checked([self.reg, "add", "HKCU\\Software", "/f"], env, "making store " + name)
        if keys:
            with open(folder + "/store.reg", "w", encoding="utf-8", newline="") as reg_file:
                reg_file.write(reg_file_text(keys))
            checked([self.reg, "import", folder + "/store.reg"], env, "importing store " + name)
            os.remove(folder + "/store.reg")
        for command in commands:
            checked([self.dovetune] + command, env, "making store %s: %s" % (name, command))
        return folder

    def run_case(self, store_folder, args, number):
        folder = "%s/cases/%d" % (self.work, number)
        shutil.copytree(store_folder, folder)
        store = self.store_path(folder)
        status, out, err = run([self.dovetune] + args, dict(self.env, DOVETUNE_REGISTRY=store))
        shutil.rmtree(folder)
        # The case's store lies in a folder of its own each time: it is
        # recorded by the variable that names it.
        named = b"$DOVETUNE_REGISTRY"
        return status, out.replace(store.encode(), named), err.replace(store.encode(), named)


def make_fresh_prefix(work, env):
    """Makes a Wine prefix with wineboot and returns its user.reg."""
    prefix = work + "/wine-prefix"
    wine_env = dict(env, WINEPREFIX=prefix, WINEDLLOVERRIDES="mscoree,mshtml=")
    checked([WINE_TOOLS + "/wine64", "wineboot", "-i"], wine_env, "wineboot")
    checked([WINE_TOOLS + "/wineserver", "-w"], wine_env, "waiting for wineserver")
    return prefix + "/user.reg"


def write_utf16(path, text):
    """A .reg file as the Windows registry editor writes it."""
    with open(path, "wb") as reg_file:
        reg_file.write(b"\xff\xfe" + text.encode("utf-16-le"))


class Windows:
    """dovetune.exe under Wine, on the Wine registry of a prefix that one
    wineserver serves for the whole run. Each case's store is loaded by
    regedit from a .reg file that deletes the tool's keys first."""

    def __init__(self, args, work):
        self.exe = os.path.abspath(args.exe)
        self.wine = WINE_TOOLS + "/wine64"
        self.work = work
        self.own_server = args.wineprefix is None
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": work + "/home",
                    "TMPDIR": work + "/tmp", "LC_ALL": "C.UTF-8", "WINEDEBUG": "-all",
                    "WINEPREFIX": os.path.abspath(args.wineprefix or work + "/wine-prefix")}
        os.makedirs(work + "/home")
        os.makedirs(work + "/tmp")
        if not self.own_server:
            # Where the caller's wineserver is found depends on these.
            for name in ("HOME", "TMPDIR"):
                if name in os.environ:
                    self.env[name] = os.environ[name]
        if self.own_server:
            make_fresh_prefix(work, self.env)
            # Kept up between runs, so that each starts in a fraction of a
            # second; it goes by itself ten seconds after the last, should
            # this script be stopped.
            checked([WINE_TOOLS + "/wineserver", "-p10"], self.env, "starting wineserver")

    def close(self):
        """Takes the last case's keys out of the registry, and stops the
        wineserver this run started."""
        if self.own_server:
            run([WINE_TOOLS + "/wineserver", "-k"], self.env)
            return
        cleared = self.work + "/cleared.reg"
        write_utf16(cleared, reg_file_text([], delete_first=True))
        run([self.wine, "regedit", "/S", cleared], self.env)

    def build_store(self, name, keys, commands):
        """The .reg file that loads the store, and the runs that complete it.
        Loaded anew for each case: Wine's own export would turn a REG_DWORD
        of other than 4 bytes into one of 4."""
        path = "%s/stores/%s.reg" % (self.work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        write_utf16(path, reg_file_text(keys, delete_first=True))
        return path, commands

    def run_case(self, store, args, number):
        store_file, commands = store
        checked([self.wine, "regedit", "/S", store_file], self.env, "loading " + store_file)
        for command in commands:
            checked([self.wine, self.exe] + command, self.env, "completing " + store_file)
        status, out, err = run([self.wine, self.exe] + args, self.env)
        # The console's line ends are the only difference the platform makes.
        return status, out.replace(b"\r\n", b"\n"), err.replace(b"\r\n", b"\n")


# --- comparing and recording ------------------------------------------------


def stream_lines(data, prefix, stream):
    text = data.decode("utf-8", errors="surrogateescape")
    if text == "":
        return []
    ended = text.endswith("\n")
    lines = text[:-1].split("\n") if ended else text.split("\n")
    recorded = [(prefix + " " + line) if line else prefix for line in lines]
    if not ended:
        recorded.append("= %s has no newline at its end" % stream)
    return recorded


def expectation(status, out, err):
    return (["= exit %d" % status] + stream_lines(out, "|", "stdout") +
            stream_lines(err, "!", "stderr"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--store", choices=STORES, default="sqlite")
    parser.add_argument("--dovetune", help="the native program")
    parser.add_argument("--reg", help="the native dovetune-reg")
    parser.add_argument("--exe", help="dovetune.exe, for --store windows")
    parser.add_argument("--wineprefix",
                        help="for --store windows: a prefix whose wineserver the caller keeps up")
    parser.add_argument("--record", action="store_true",
                        help="write what the build prints into the corpus instead of comparing")
    parser.add_argument("--keep", action="store_true", help="keep the working folder")
    parser.add_argument("corpus")
    args = parser.parse_args()
    if args.store == "windows" and not args.exe:
        parser.error("--store windows needs --exe")
    if args.store != "windows" and not (args.dovetune and args.reg):
        parser.error("--dovetune and --reg are needed")

    if args.store != "sqlite" and not os.access(WINE_TOOLS + "/wine64", os.X_OK):
        print("skipped: %s/wine64 is not installed" % WINE_TOOLS)
        return 1 if os.environ.get("CI") == "true" else 77

    items, store_lines = read_corpus(args.corpus)
    work = os.path.abspath(tempfile.mkdtemp(prefix="dovetune-golden-"))
    started = time.monotonic()
    runner = None
    failures = 0
    ran = 0
    try:
        runner = Windows(args, work) if args.store == "windows" else Native(args, work)
        cases = [item for item in items if isinstance(item, Case) and args.store not in item.skip]
        built = {}
        for case in cases:
            if case.store not in built:
                keys, commands = store_keys(store_lines[case.store])
                built[case.store] = runner.build_store(case.store, keys, commands)

        def run_case(case):
            return runner.run_case(built[case.store], case.args, case.line_number)

        # Cases on copies of their stores of their own run side by side;
        # those on Wine's one registry, one after another.
        workers = 4 if args.store == "sqlite" else 1
        with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
            results = list(pool.map(run_case, cases))
        for item, (status, out, err) in zip(cases, results):
            ran += 1
            actual = expectation(status, out, err)
            if args.record:
                item.expected = actual
            elif actual != item.expected:
                failures += 1
                print("FAILED %s" % item.title())
                for line in difflib.unified_diff(item.expected, actual, "recorded", "printed",
                                                 lineterm=""):
                    print("  " + line)
    finally:
        if isinstance(runner, Windows):
            runner.close()
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    if args.record:
        write_corpus(args.corpus, items)
    print("%s: %d cases, %d failed, %.1f s" % (args.store, ran, failures,
                                               time.monotonic() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
