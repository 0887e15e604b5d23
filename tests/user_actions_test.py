#!/usr/bin/env python3
"""orvalin-user-actions as installed (DESTDIR install of the build), on a fake home: the user's
own Thunar actions and Nautilus scripts survive, ours appears once and goes again; and the
installed Nautilus script hands Orvalin exactly the selected files: local paths where gio gives
them, URIs otherwise.
usage: user_actions_test.py CMAKE BUILD_DIR SCRATCH_DIR"""

import os
import shutil
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET

CMAKE, BUILD, SCRATCH = sys.argv[1:4]
STAGE = os.path.join(SCRATCH, "stage")
TOOL = os.path.join(STAGE, "usr", "bin", "orvalin-user-actions")
USERS_UCA = b"""<?xml version="1.0" encoding="UTF-8"?>
<actions>
<action>
\t<icon>utilities-terminal</icon>
\t<name>Terminal \xc3\xa0 c\xc3\xb4t\xc3\xa9</name>
\t<unique-id>1670000000000000-1</unique-id>
\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>
\t<patterns>*</patterns>
\t<startup-notify/>
\t<directories/>
</action>
<!-- mine: an <action> I keep for later -->
</actions>
"""


def ids(path):
    return [a.findtext("unique-id") for a in ET.parse(path).getroot().iter("action")]


class UserActions(unittest.TestCase):
    def setUp(self):
        self.home = os.path.join(SCRATCH, self.id().rsplit(".", 1)[1])
        shutil.rmtree(self.home, ignore_errors=True)
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.home + "/conf",
                        XDG_DATA_HOME=self.home + "/data", XDG_CONFIG_DIRS=self.home + "/etc")
        self.uca = self.home + "/conf/Thunar/uca.xml"
        self.script = self.home + "/data/nautilus/scripts/Rename with Orvalin"
        self.undo_script = self.home + "/data/nautilus/scripts/Undo the last renaming with Orvalin"

    def run_tool(self, *args, status=0):
        done = subprocess.run([TOOL, *args], env=self.env, capture_output=True)
        self.assertEqual(done.returncode, status, done.stderr)

    def write(self, path, content):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)

    def test_install_twice_then_remove_keeps_the_users_own(self):
        self.write(self.uca, USERS_UCA)
        mine = self.home + "/data/nautilus/scripts/Mine"
        self.write(mine, b"#!/bin/sh\n")
        for _ in range(2):
            self.run_tool()
            self.assertEqual(ids(self.uca),
                             ["1670000000000000-1", "orvalin-rename-1", "orvalin-undo-1"])
            self.assertTrue(os.access(self.script, os.X_OK))
            self.assertTrue(os.access(self.undo_script, os.X_OK))
        self.run_tool("--remove")
        with open(self.uca, "rb") as f:
            self.assertEqual(f.read(), USERS_UCA)
        self.assertFalse(os.path.exists(self.script))
        self.assertFalse(os.path.exists(self.undo_script))
        self.assertTrue(os.path.exists(mine))

    def test_absent_uca_starts_from_the_systems_or_empty(self):
        ours = ["orvalin-rename-1", "orvalin-undo-1"]
        # An earlier install held only the first of ours: it is replaced, not doubled.
        earlier = USERS_UCA.replace(b"</actions>", b"<action><unique-id>orvalin-rename-1"
                                    b"</unique-id></action>\n</actions>")
        for system, expected in ((None, ours), (USERS_UCA, ["1670000000000000-1"] + ours),
                                 (earlier, ["1670000000000000-1"] + ours)):
            with self.subTest(system=system is not None):
                shutil.rmtree(self.home, ignore_errors=True)
                if system:
                    self.write(self.home + "/etc/Thunar/uca.xml", system)
                self.run_tool()
                self.assertEqual(ids(self.uca), expected)

    def test_leaves_what_it_cannot_read_or_does_not_own(self):
        broken = b"<actions><action>\n"
        self.write(self.uca, broken)
        self.write(self.script, b"#!/bin/sh\necho the user's own\n")
        self.run_tool(status=1)
        self.run_tool("--remove", status=1)
        for path, content in ((self.uca, broken), (self.script, b"#!/bin/sh\necho the user's own\n")):
            with open(path, "rb") as f:
                self.assertEqual(f.read(), content)

    def test_nautilus_script_passes_the_selected_uris(self):
        self.run_tool()
        fake = self.home + "/bin/orvalin"
        self.write(fake, b'#!/bin/sh\nprintf "%s\\0" "$@" > "$HOME/args"\n')
        os.chmod(fake, 0o755)
        # gio info as it answers for places that gvfs-fuse has mounted, or not; in other
        # languages its labels are translated. A name with a newline would come out split.
        gvfs = self.home + "/gvfs/"
        self.write(gvfs + "a b.mp3", b"")
        self.write(gvfs + "d", b"")
        self.write(self.home + "/bin/gio", b"""#!/bin/sh
label="local path"; [ "$LC_ALL" = C.UTF-8 ] || label="lokaler Pfad"
printf 'name: x\\nuri: %s\\n' "$2"
case $2 in
sftp:*) printf '%s: %s\\n' "$label" "$HOME/gvfs/a b.mp3" ;;
smb:* | file:*) printf '%s: %s\\n' "$label" "$HOME/gvfs/d" ;;
ftp:*) printf '%s: %s\\n' "$label" "$HOME/gvfs/gone.mp3" ;;
esac
printf 'attributes:\\n'
""")
        os.chmod(self.home + "/bin/gio", 0o755)
        for selection, expected in (
                ("file:///m/a%0Ab.mp3\nfile:///m/c%20d.mp3\n", "file:///m/a%0Ab.mp3\0file:///m/c%20d.mp3\0"),
                ("sftp://h/a%20b.mp3\ntrash:///c.mp3\nsmb://h/s/d%0Ae.mp3\nftp://h/gone.mp3\n",
                 gvfs + "a b.mp3\0trash:///c.mp3\0smb://h/s/d%0Ae.mp3\0ftp://h/gone.mp3\0"),
                ("", None)):
            with self.subTest(selection=selection):
                if os.path.exists(self.home + "/args"):
                    os.remove(self.home + "/args")
                env = dict(self.env, PATH=self.home + "/bin:" + os.environ["PATH"],
                           NAUTILUS_SCRIPT_SELECTED_URIS=selection,
                           NAUTILUS_SCRIPT_SELECTED_FILE_PATHS="/m/a\nb.mp3\n")
                subprocess.run([self.script], env=env, check=True)
                got = None
                if os.path.exists(self.home + "/args"):
                    with open(self.home + "/args") as f:
                        got = f.read()
                self.assertEqual(got, expected)
        # The undo script takes no files, whatever is selected.
        env = dict(self.env, PATH=self.home + "/bin:" + os.environ["PATH"],
                   NAUTILUS_SCRIPT_SELECTED_URIS="file:///m/a.mp3\n")
        subprocess.run([self.undo_script], env=env, check=True)
        with open(self.home + "/args") as f:
            self.assertEqual(f.read(), "--undo\0")


if __name__ == "__main__":
    shutil.rmtree(STAGE, ignore_errors=True)
    subprocess.run([CMAKE, "--install", BUILD, "--prefix", "/usr"], check=True,
                   env=dict(os.environ, DESTDIR=STAGE), stdout=subprocess.DEVNULL)
    unittest.main(argv=sys.argv[:1], verbosity=2)
