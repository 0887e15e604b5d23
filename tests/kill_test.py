#!/usr/bin/env python3
"""An "ALL" rename killed at random moments, on the file systems where a rename needs a
placeholder, a temporary name or a hard link: FUSE exFAT, FUSE FAT, NTFS-3G, lowntfs-3g with
ignore_case, and sshfs to an SFTP server on 127.0.0.1 (link and unlink), where sshd is there.
After every kill the program is started again (its recovery, from the killed run's journal),
and every original's bytes must be under exactly one visible name, with no placeholder, no
temporary name and no second name left. Every fourth round a second start comes while a slow
run is still renaming in the same folder: it must take nothing of that run's.
Then, on a fresh image of each, rounds of an "ALL" rename killed at random followed by
"orvalin --undo": every song must be back under its original name, and nothing else there.

kill_test.py DRIVER SCRATCH [--kills N] [--undos N] [--files N] [--fs NAME,...] [--seed S]
As root (mounting). Prints one table row per file system; exit 0 when nothing was lost, hidden
or left behind, 1 otherwise, 77 when it cannot run here (the reason is printed).
"""
import argparse
import collections
import hashlib
import itertools
import os
import random
import shutil
import signal
import subprocess
import sys
import threading
import time

# name: (mkfs command, mount command, mounted through a loop device)
FILE_SYSTEMS = {
    "exfat-fuse": (["mkfs.exfat"], ["mount.exfat-fuse"], True),
    "fusefat": (["mkfs.vfat"], ["fusefat", "-o", "rw+"], False),
    "ntfs-3g": (["mkfs.ntfs", "-F", "-f", "-Q"], ["ntfs-3g"], False),
    "lowntfs-3g-ignore_case": (["mkfs.ntfs", "-F", "-f", "-Q"],
                               ["lowntfs-3g", "-o", "ignore_case"], False),
    # sshfs to a throwaway sshd: no mkfs; link and unlink (the server's hardlink extension).
    "sshfs": (None, ["sshfs"], False),
}
# Each round renames every file to the next of these: case-only changes (x -> X, X -> x) and
# plain renames (x -> y, y -> X).
TEMPLATES = ["X /tt.mp3", "x /tt.mp3", "y /tt.mp3"]
TEMPORARY = ".orvalin-renaming"
# Seconds after which a rename that has not ended counts as hung.
TIMEOUT = 60
# Half the kills fall as the program enters one of these calls (through strace), so that every
# step of a rename is hit, not only the longer moments between them.
VERBOSE = False
# Seconds a FUSE mount keeps a name lookup cached (the kernel's default entry timeout, 1 s).
FUSE_CACHE = 1.1
CALLS = ["renameat", "renameat2", "linkat", "unlinkat"]
# Microseconds each rename waits in the slow run a second start meets.
SLOW_RENAME = 30000


def run(command):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return result.returncode == 0, result.stdout.decode(errors="replace")


class Hung(Exception):
    pass


def daemon_of(image):
    """The process id of the FUSE daemon serving image, or None."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read()  # some daemons rewrite their arguments into one string
        except OSError:
            continue
        if os.fsencode(os.path.basename(image)) in command and int(pid) != os.getpid():
            return int(pid)
    return None


class Mount:
    """A fresh image of the file system, mounted; unmounted and detached in every outcome."""

    def __init__(self, name, scratch):
        self.name, self.loop, self.point = name, None, None
        self.daemon, self.aborted = None, False
        self.image = os.path.join(scratch, name + ".img")
        self.folder = os.path.join(scratch, name)

    def __enter__(self):
        mkfs, mount, loop = FILE_SYSTEMS[self.name]
        if mkfs is None:
            return self.enter_sshfs()
        with open(self.image, "wb") as image:
            image.truncate(32 << 20)
        ok, out = run(mkfs + [self.image])
        if not ok:
            raise RuntimeError(f"{mkfs[0]} failed: {out}")
        device = self.image
        if loop:
            ok, out = run(["losetup", "-f", "--show", self.image])
            if not ok:
                raise RuntimeError(f"losetup failed: {out}")
            self.loop = device = out.strip()
        os.makedirs(self.folder, exist_ok=True)
        ok, out = run(mount + [device, self.folder])
        if not ok:
            self.__exit__()
            raise RuntimeError(f"{mount[0]} failed: {out}")
        self.point = self.folder
        self.daemon = daemon_of(self.image)
        return self

    def enter_sshfs(self):
        """A throwaway sshd on a free port of 127.0.0.1 serving served/, mounted with sshfs's
        default caches."""
        self.image = None
        base = self.folder + ".ssh"
        shutil.rmtree(base, ignore_errors=True)
        os.makedirs(base)
        for key in ("host_key", "user_key"):
            ok, out = run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", f"{base}/{key}"])
            if not ok:
                raise RuntimeError(f"ssh-keygen failed: {out}")
        shutil.copy(f"{base}/user_key.pub", f"{base}/authorized_keys")
        import socket
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        with open(f"{base}/sshd_config", "w") as config:
            config.write(f"ListenAddress 127.0.0.1\nPort {port}\nHostKey {base}/host_key\n"
                         f"PidFile none\nAuthorizedKeysFile {base}/authorized_keys\n"
                         "StrictModes no\nUsePAM no\nPasswordAuthentication no\n"
                         "KbdInteractiveAuthentication no\nPermitRootLogin prohibit-password\n"
                         "Subsystem sftp internal-sftp\n")
        os.makedirs("/run/sshd", exist_ok=True)
        self.server = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", f"{base}/sshd_config"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        served = f"{base}/served"
        os.makedirs(served)
        os.makedirs(self.folder, exist_ok=True)
        for _ in range(100):
            ok, out = run(["sshfs", "-p", str(port), "-o",
                           f"IdentityFile={base}/user_key,StrictHostKeyChecking=no,"
                           "UserKnownHostsFile=/dev/null,BatchMode=yes",
                           f"root@127.0.0.1:{served}", self.folder])
            if ok:
                break
            time.sleep(0.1)
        else:
            self.__exit__()
            raise RuntimeError(f"sshfs failed: {out}")
        self.point = self.folder
        self.daemon = daemon_of(served)
        return self

    def abort(self):
        """The file system hangs: its daemon goes, and every call waiting on it fails."""
        self.aborted = True
        if self.daemon:
            try:
                os.kill(self.daemon, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def __exit__(self, *exc):
        if self.point and exc and exc[0] in (Hung, subprocess.TimeoutExpired):
            self.abort()
        if self.point:
            for _ in range(50):
                if run(["umount", self.point])[0]:
                    break
                time.sleep(0.1)
            else:
                run(["umount", "-l", self.point])
        if self.loop:
            for _ in range(50):
                if run(["losetup", "-d", self.loop])[0]:
                    break
                time.sleep(0.1)
        if self.image and os.path.exists(self.image):
            os.unlink(self.image)
        if getattr(self, "server", None):
            self.server.terminate()
            self.server.wait()
            shutil.rmtree(self.folder + ".ssh", ignore_errors=True)


def snapshot(folder):
    """name -> bytes of every regular file in folder."""
    files = {}
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isfile(path) and not os.path.islink(path):
            with open(path, "rb") as f:
                files[name] = f.read()
    return files


def check(folder, originals, counts, dry=False):
    """Counts what the folder holds against the originals; True when it is clean enough for the
    next round (one visible name per original, apart from both names of link and unlink).
    Changes nothing when dry."""
    files = snapshot(folder)
    clean = True
    names_of = {digest: [] for digest in originals}
    for name, data in files.items():
        if len(data) == 0:
            counts["placeholders"] += 1
            clean = False
            continue
        if TEMPORARY in name:
            counts["temporaries"] += 1
            clean = False
        digest = hashlib.sha256(data).hexdigest()
        if digest not in names_of:
            counts["other"] += 1
            clean = False
            continue
        names_of[digest].append(name)
    for digest, names in names_of.items():
        visible = [n for n in names if not n.startswith(".") and TEMPORARY not in n]
        if not names:
            counts["lost"] += 1
            clean = False
        elif not visible:
            counts["hidden"] += 1
            clean = False
        elif len(visible) > 1:
            counts["both"] += 1
            clean = False
            # Two names of one file: drop one so the next round starts from one name each.
            for extra in visible[1:] if not dry else []:
                os.unlink(os.path.join(folder, extra))
    return clean


def reset(driver, root, files, sets):
    """A new folder of fresh songs under root, the old ones removed (fusefat may refuse to create
    a name again soon after it was removed in another case). Returns the folder and the
    original names by the digest of their bytes."""
    for name in os.listdir(root):
        shutil.rmtree(os.path.join(root, name))
    folder = os.path.join(root, f"set {next(sets)}")
    os.mkdir(folder)
    subprocess.run([driver, "make", folder, str(files)], check=True, timeout=TIMEOUT)
    return folder, {hashlib.sha256(d).hexdigest(): n for n, d in snapshot(folder).items()}


def arguments(folder):
    return sorted(os.path.join(folder, n) for n in os.listdir(folder))


def renaming(driver, template, folder, kill_after, at_call=None, meanwhile=None):
    """Runs an "ALL" rename; kills it kill_after seconds into the rename command (None: never),
    or, with at_call = (system call, n), as it enters its n-th such call; meanwhile, if given,
    runs while the command goes on (its renames then slow). Returns the seconds the command
    took, or None when it was killed."""
    command = [driver, "rename", template] + arguments(folder)
    environment = dict(os.environ, ORVALIN_RENAME_DELAY=str(SLOW_RENAME)) if meanwhile else None
    if at_call:
        call, n = at_call
        command = ["strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call,
                   "-e", f"inject={call}:signal=SIGKILL:when={n}"] + command
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               env=environment)
    process.stderr.readline()  # "renaming"
    start = time.monotonic()
    try:
        if meanwhile:
            meanwhile()
        if kill_after is None:
            process.wait(timeout=TIMEOUT)
            if process.returncode != 0:
                return None  # killed at a call
            return time.monotonic() - start
        time.sleep(kill_after)
        process.send_signal(signal.SIGKILL)
        process.wait(timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        process.kill()
        raise Hung()
    return None


def trial(driver, scratch, name, kills, files, rng):
    counts = {"kills": 0, "at a call": 0}
    counts.update(lost=0, hidden=0, placeholders=0, temporaries=0, both=0, other=0, second=0)
    counts["span"] = 0
    mount = Mount(name, scratch)
    try:
        with mount:
            trial_on(driver, mount, kills, files, rng, counts)
    except (Hung, subprocess.TimeoutExpired):
        counts["hung"] = 1
    except OSError:
        if not mount.aborted:
            raise
        counts["hung"] = 1
    return counts


def recover(driver, folder, files=None):
    """The program's start on the folder's files (or on files): its recovery, and the trace of
    it."""
    return subprocess.run([driver, "recover"] + (files or arguments(folder)), check=True,
                          stdout=subprocess.PIPE, timeout=TIMEOUT).stdout.decode()


def trial_on(driver, mount, kills, files, rng, counts):
    sets = itertools.count()
    folder, originals = reset(driver, mount.point, files, sets)
    # One run without a kill gives the length of the window in which kills fall.
    span = counts["span"] = renaming(driver, TEMPLATES[0], folder, None)
    for round in range(kills * 3):
        if counts["kills"] >= kills:
            break
        # A call of this process that hangs on the file system ends when its daemon is killed.
        watchdog = threading.Timer(3 * TIMEOUT, mount.abort)
        watchdog.start()
        try:
            folder, originals = one_round(driver, mount.point, folder, originals, files, round,
                                          span, rng, counts, sets)
        finally:
            watchdog.cancel()


def one_round(driver, root, folder, originals, files, round, span, rng, counts, sets):
    template = TEMPLATES[(round + 1) % len(TEMPLATES)]
    if round % 4 == 3:
        # A second start on a song of the folder while a slow run renames there: the run ends
        # with every song under one name, whatever the second start's recovery did.
        song = arguments(folder)[rng.randrange(files)]
        meanwhile = lambda: (time.sleep(rng.uniform(0, files * SLOW_RENAME / 1e6)),
                             recover(driver, folder, [song]))
        renaming(driver, template, folder, None, meanwhile=meanwhile)
        counts["second"] += 1
        if not check(folder, originals, counts):
            if VERBOSE:
                print(f"  second start during {template!r}: left {sorted(os.listdir(folder))}",
                      flush=True)
            return reset(driver, root, files, sets)
        return folder, originals
    if round % 2 == 0 or not shutil.which("strace"):
        renaming(driver, template, folder, rng.uniform(0, span * 1.2))
    elif renaming(driver, template, folder, None,
                  (rng.choice(CALLS), rng.randint(1, files + 2))) is None:
        counts["at a call"] += 1
    else:
        return folder, originals  # the run made fewer such calls: not killed
    counts["kills"] += 1
    before = sorted(os.listdir(folder))
    recovery = recover(driver, folder)
    if not check(folder, originals, collections.Counter(), dry=True):
        # A FUSE file system may still resolve a name just taken away for a second (its
        # lookup cache): a user's next start comes later than this one.
        time.sleep(FUSE_CACHE)
        recovery += recover(driver, folder)
    if not check(folder, originals, counts):
        if VERBOSE:
            print(f"  after {template!r}: {before}\n  recovery: {recovery.strip()!r}\n"
                  f"  left: {sorted(os.listdir(folder))}", flush=True)
        return reset(driver, root, files, sets)
    return folder, originals


def undo_trial(driver, scratch, name, rounds, files, rng):
    """Rounds of an "ALL" rename from the original names killed at random, each followed by
    the program's undo, on a fresh image of the file system; returns (rounds, rounds after
    which a song was not back under its original name or something else was left, the hung
    flag)."""
    done = failed = 0
    mount = Mount(name, scratch)
    try:
        with mount:
            sets = itertools.count()
            folder, originals = reset(driver, mount.point, files, sets)
            span = renaming(driver, TEMPLATES[2], folder, None)
            for round in range(rounds):
                watchdog = threading.Timer(3 * TIMEOUT, mount.abort)
                watchdog.start()
                try:
                    folder, originals = reset(driver, mount.point, files, sets)
                    ok, said = undo_round(driver, folder, originals, span, rng, scratch, round)
                finally:
                    watchdog.cancel()
                done += 1
                if not ok:
                    failed += 1
                    if VERBOSE:
                        print(f"  undo left {sorted(os.listdir(folder))}: {said!r}", flush=True)
    except (Hung, subprocess.TimeoutExpired):
        return done, failed, True
    except OSError:
        if not mount.aborted:
            raise
        return done, failed, True
    return done, failed, False


def undo_round(driver, folder, originals, span, rng, scratch, round):
    """One killed "ALL" rename (a change of case or a plain rename), then the undo, each with a
    state folder of the round's own; True when every original is back under its own name and
    nothing else is in the folder, and the undo's alert."""
    state = os.path.join(scratch, f"undo-state-{round}")
    shutil.rmtree(state, ignore_errors=True)
    saved = os.environ.get("XDG_STATE_HOME")
    os.environ["XDG_STATE_HOME"] = state
    try:
        template = rng.choice([TEMPLATES[0], TEMPLATES[2]])
        if round % 2 == 0 or not shutil.which("strace"):
            renaming(driver, template, folder, rng.uniform(0, span * 1.2))
        else:
            renaming(driver, template, folder, None,
                     (rng.choice(CALLS), rng.randint(1, files_in(folder) + 2)))
        said = subprocess.run([driver, "undo"], check=True, stdout=subprocess.PIPE,
                              timeout=TIMEOUT).stdout.decode(errors="replace")
    finally:
        if saved is None:
            os.environ.pop("XDG_STATE_HOME", None)
        else:
            os.environ["XDG_STATE_HOME"] = saved
        shutil.rmtree(state, ignore_errors=True)
    files = snapshot(folder)
    back = {hashlib.sha256(data).hexdigest(): name for name, data in files.items()}
    return len(files) == len(originals) and back == originals, said


def files_in(folder):
    return len(os.listdir(folder))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("driver")
    parser.add_argument("scratch")
    parser.add_argument("--kills", type=int, default=100)
    parser.add_argument("--undos", type=int, default=None,
                        help="killed renames each followed by an undo, per file system "
                             "(default: a fifth of --kills, at least 2)")
    parser.add_argument("--files", type=int, default=12)
    parser.add_argument("--fs", default=",".join(FILE_SYSTEMS))
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--verbose", action="store_true", help="list each unclean folder")
    options = parser.parse_args()
    if options.undos is None:
        options.undos = max(2, options.kills // 5)
    global VERBOSE
    VERBOSE = options.verbose

    if os.geteuid() != 0:
        print("cannot run here: mounting the images needs root")
        return 77
    names = options.fs.split(",")
    if "sshfs" in names and options.fs == parser.get_default("fs") and not (
            shutil.which("sshfs") and shutil.which("ssh-keygen")
            and os.access("/usr/sbin/sshd", os.X_OK)):
        print("sshfs: skipped: sshfs, ssh-keygen or sshd is not installed")
        names.remove("sshfs")
    tools = {name: ([FILE_SYSTEMS[name][0][0]] if FILE_SYSTEMS[name][0] else ["ssh-keygen"])
             + [FILE_SYSTEMS[name][1][0]] for name in names}
    missing = [tool for name in names for tool in tools[name] if not shutil.which(tool)]
    if not os.path.exists("/dev/fuse"):
        missing.append("/dev/fuse")
    if missing:
        print("cannot run here: missing " + ", ".join(sorted(set(missing))))
        return 77
    seed = options.seed if options.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    options.scratch = os.path.abspath(options.scratch)
    os.makedirs(options.scratch, exist_ok=True)
    print(f"seed {seed}, {options.files} files, {options.kills} kills per file system")
    header = ("file system", "kills (at a call)", "second starts", "lost", "hidden",
              "placeholders left", "temporary names left", "both names left", "rename ms")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    failed = False
    for name in names:
        started = time.monotonic()
        counts = trial(options.driver, options.scratch, name, options.kills, options.files, rng)
        if counts.get("hung"):
            print(f"| {name} | {counts['kills']} | the file system hung after this many kills "
                  f"(its daemon was killed) |", flush=True)
            failed = True
            continue
        bad = counts["lost"] + counts["hidden"] + counts["placeholders"] + counts["temporaries"] \
            + counts["both"] + counts["other"]
        failed = failed or bad > 0
        print(f"| {name} | {counts['kills']} ({counts['at a call']}) | {counts['second']} | "
              f"{counts['lost']} | {counts['hidden']} | "
              f"{counts['placeholders']} | {counts['temporaries']} | {counts['both']} | "
              f"{counts['span'] * 1000:.0f} |"
              + (f" {counts['other']} unknown files" if counts["other"] else "")
              + f" ({time.monotonic() - started:.0f} s)", flush=True)
    if options.undos > 0:
        print()
        print("| file system | killed renames undone | rounds with a song not back under its name |")
        print("|---|---|---|")
    for name in names if options.undos > 0 else []:
        done, bad, hung = undo_trial(options.driver, options.scratch, name, options.undos,
                                     options.files, rng)
        failed = failed or bad > 0 or hung
        print(f"| {name} | {done} | {bad} |" + (" the file system hung (its daemon was killed)"
                                                 if hung else ""), flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
