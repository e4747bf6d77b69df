#!/usr/bin/env python3
"""The Windows packages, made by CPack from the Windows build and tried under Wine:

- the ZIP: the program, an empty cache folder, the README and the licence in one folder;
  unpacked, its console mode runs there and fills the cache folder;
- the NSIS installer: silently (/S) into %LOCALAPPDATA%\\TAVRO Shopping List with its cache
  folder, a Start-menu shortcut that starts the program in that folder, and the user's
  uninstall entry; the installed program runs; the silent uninstaller (which returns
  before it has finished) leaves nothing behind, the downloaded cache files included.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wintest  # noqa: E402
from wintest import PATIENCE, WINE_RUN, path_of, wait_for  # noqa: E402

# The build's architecture ends the name: win64 or win32.
PACKAGE_FILE_NAME = "tavro-shopping-list-{version}-{arch}"
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TavroShoppingList"
SHORTCUT = os.path.join("Microsoft", "Windows", "Start Menu", "Programs", "TAVRO Shopping List",
                        "TAVRO Shopping List Generator.lnk")


def project_version():
    with open(os.path.join(path_of("TAVRO_BUILD_DIR"), "CPackConfig.cmake")) as f:
        for line in f:
            if line.startswith('set(CPACK_PACKAGE_VERSION "'):
                return line.split('"')[1]
    raise AssertionError("no CPACK_PACKAGE_VERSION in CPackConfig.cmake")


def make_package(generator, folder):
    """Runs CPack with the build's configuration into `folder`; the package's path."""
    config = os.path.join(path_of("TAVRO_BUILD_DIR"), "CPackConfig.cmake")
    subprocess.run(["cpack", "-G", generator, "--config", config, "-B", folder], check=True,
                   capture_output=True, timeout=PATIENCE)
    extension = {"ZIP": ".zip", "NSIS": ".exe"}[generator]
    name = PACKAGE_FILE_NAME.format(version=project_version(), arch=path_of("TAVRO_WINDOWS_ARCH"))
    return os.path.join(folder, name + extension)


def wine(*arguments, check=True):
    run = subprocess.run([WINE_RUN] + list(arguments), stdin=subprocess.DEVNULL, capture_output=True,
                         timeout=PATIENCE)
    if check and run.returncode != 0:
        raise AssertionError("%s ended with %d: %s%s" % (arguments, run.returncode, run.stdout, run.stderr))
    return run


def unix_folder_of(variable):
    """The Linux path of a Windows folder variable (LOCALAPPDATA, APPDATA) in the prefix."""
    value = wine("cmd.exe", "/c", "echo %" + variable + "%").stdout.decode().strip()
    drive, _, rest = value.partition(":")
    if drive.upper() != "C":
        raise AssertionError("%s is on drive %s" % (variable, drive))
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *rest.strip("\\").split("\\"))


def shortcut_working_folder(path):
    """The working folder that a .lnk file (MS-SHLLINK) names."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 20)[0]
    at = 76
    if flags & 0x1:  # HasLinkTargetIDList
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if flags & 0x2:  # HasLinkInfo
        at += struct.unpack_from("<I", data, at)[0]
    unicode = flags & 0x80
    for flag in (0x4, 0x8, 0x10):  # name, relative path, working folder: in this order
        if not flags & flag:
            continue
        count = struct.unpack_from("<H", data, at)[0]
        size = count * (2 if unicode else 1)
        text = data[at + 2:at + 2 + size].decode("utf-16-le" if unicode else "latin-1")
        at += 2 + size
        if flag == 0x10:
            return text.rstrip("\0")
    return None


class PackageTest(wintest.StandinTestCase):
    WORK_PREFIX = "shopping-packages-"

    def run_console(self, folder):
        run = wintest.run_in_pty([WINE_RUN, os.path.join(folder, "shopping-list.exe"), "Bronze Lamp", "3"],
                                 folder, wintest.program_environment(self.standin.url))
        self.assertEqual(run.code, 0)
        self.assertIn(b"\r\n   3 Bronze Lamp Frame\r\n", run.stdout)
        self.assertIn("Bronze Lamp", os.listdir(os.path.join(folder, "cache")))

    def test_zip_unpacks_and_runs(self):
        package = make_package("ZIP", os.path.join(self.work, "zip"))
        top = os.path.basename(package)[:-len(".zip")]
        with zipfile.ZipFile(package) as archive:
            names = sorted(archive.namelist())
            self.assertEqual(names, sorted(top + "/" + name for name in
                                           ("cache/", "shopping-list.exe", "README.md", "LICENSE.txt")))
            archive.extractall(os.path.join(self.work, "unzipped"))
        folder = os.path.join(self.work, "unzipped", top)
        self.assertEqual(os.listdir(os.path.join(folder, "cache")), [])
        with open(os.path.join(wintest.SOURCE, "LICENSE"), "rb") as f:
            self.assertEqual(wintest.read_bytes(os.path.join(folder, "LICENSE.txt")), f.read())
        self.run_console(folder)

    def test_installer_installs_for_the_user_and_uninstalls_everything(self):
        installer = make_package("NSIS", os.path.join(self.work, "nsis"))
        folder, menu = self.installation()
        shortcut = os.path.join(menu, os.path.basename(SHORTCUT))
        wine(installer, "/S")
        self.assertEqual(sorted(os.listdir(folder)),
                         ["LICENSE.txt", "README.md", "Uninstall.exe", "cache", "shopping-list.exe"])
        self.assertEqual(os.listdir(os.path.join(folder, "cache")), [])
        self.assertTrue(os.path.isfile(shortcut))
        working = shortcut_working_folder(shortcut)
        self.assertIsNotNone(working)
        self.assertTrue(working.lower().endswith("\\appdata\\local\\tavro shopping list"), working)
        entry = wine("reg.exe", "query", UNINSTALL_KEY).stdout.decode(errors="replace")
        self.assertIn("TAVRO Shopping List Generator", entry)
        self.assertIn("Uninstall.exe", entry)
        self.run_console(folder)
        self.uninstall(folder, menu)

    # ------------------------------------------------------------ installations, upgrades, unwritable folders

    def installation(self):
        """The installation folder and the Start-menu folder, removed now (what a failed run
        may have left in the prefix) and after the test, with the uninstall entry."""
        folder = os.path.join(unix_folder_of("LOCALAPPDATA"), "TAVRO Shopping List")
        menu = os.path.dirname(os.path.join(unix_folder_of("APPDATA"), SHORTCUT))

        def remove():
            shutil.rmtree(folder, ignore_errors=True)
            shutil.rmtree(menu, ignore_errors=True)
            wine("reg.exe", "delete", UNINSTALL_KEY, "/f", check=False)
        remove()
        self.addCleanup(remove)
        return folder, menu

    def uninstall(self, folder, menu):
        """Runs the installed uninstaller and checks that it removed everything."""
        wine(os.path.join(folder, "Uninstall.exe"), "/S")
        # The uninstaller copies itself away and goes on after returning.
        wait_for(lambda: not os.path.exists(folder) and not os.path.exists(menu),
                 what="the uninstaller to remove the program and its shortcut")
        self.assertNotEqual(wine("reg.exe", "query", UNINSTALL_KEY, check=False).returncode, 0)

    def uninstall_entry(self):
        """{value name: data} of the uninstall entry, as reg.exe shows it; {} without one."""
        run = wine("reg.exe", "query", UNINSTALL_KEY, check=False)
        found = re.findall(r"^\s+(\S+)\s+REG_\w+\s+(.*?)\s*$", run.stdout.decode(errors="replace"), re.M)
        return dict(found) if run.returncode == 0 else {}

    def test_installer_over_an_older_version_keeps_the_cache_and_registers_the_new_one(self):
        config = os.path.join(path_of("TAVRO_BUILD_DIR"), "CPackConfig.cmake")
        older = os.path.join(self.work, "older", "tavro-shopping-list-0.0.1.exe")
        subprocess.run(["cpack", "-G", "NSIS", "--config", config, "-B", os.path.dirname(older),
                        "-D", "CPACK_PACKAGE_VERSION=0.0.1", "-D", "CPACK_PACKAGE_FILE_NAME=tavro-shopping-list-0.0.1"],
                       check=True, capture_output=True, timeout=PATIENCE)
        newer = make_package("NSIS", os.path.join(self.work, "newer"))
        folder, menu = self.installation()
        wine(older, "/S")
        self.assertEqual(self.uninstall_entry().get("DisplayVersion"), "0.0.1")
        cache = os.path.join(folder, "cache")
        for name in ("corvanedbcore", "Bronze Lamp", "Oak's Staff", "\u00c9p\u00e9e", ".download-Ab12Cd"):
            with open(os.path.join(cache, name), "w") as f:
                f.write("kept: " + name)
        os.mkdir(os.path.join(cache, "Folder Item"))
        before = wintest.folder_snapshot(cache)

        wine(newer, "/S")
        self.assertEqual(wintest.folder_snapshot(cache), before)
        entry = self.uninstall_entry()
        location = entry.get("InstallLocation", "")
        self.assertTrue(location.lower().endswith("\\appdata\\local\\tavro shopping list"), location)
        size = sum(os.path.getsize(os.path.join(folder, name)) for name in os.listdir(folder) if name != "cache")
        self.assertLessEqual(abs(int(entry.get("EstimatedSize", "0"), 16) - size // 1024), 4, (entry, size))
        del entry["EstimatedSize"]
        self.assertLessEqual({"DisplayName": "TAVRO Shopping List Generator", "DisplayVersion": project_version(),
                              "Publisher": "The TAVRO Shopping List Generator developers",
                              "DisplayIcon": location + "\\shopping-list.exe"}.items(), entry.items())

        self.uninstall(folder, menu)

    def test_installer_over_a_folder_it_cannot_write_says_so_and_changes_nothing(self):
        installer = make_package("NSIS", os.path.join(self.work, "locked"))
        _, menu = self.installation()
        parent = tempfile.mkdtemp(prefix="locked-", dir=self.work)
        earlier = os.path.join(parent, "earlier")  # a folder of an earlier install, its cache filled
        os.makedirs(os.path.join(earlier, "cache"))
        with open(os.path.join(earlier, "cache", "Bronze Lamp"), "w") as f:
            f.write("{}")
        for target, locked in ((earlier, earlier), (os.path.join(parent, "new"), parent)):
            with self.subTest(target):
                self.lock(locked)
                before = {path: wintest.folder_snapshot(path) for path in (parent, earlier, earlier + "/cache")}
                run = wine(installer, "/S", "/D=" + wintest.windows_path(target), check=False)
                self.assertEqual(run.returncode, 2, run.stderr)
                self.assertIn(b"Cannot write to " + wintest.windows_path(target).encode(), run.stderr)
                self.assertEqual({path: wintest.folder_snapshot(path) for path in before}, before)
                self.assertEqual(self.uninstall_entry(), {})
                self.assertFalse(os.path.exists(menu))

    def lock(self, folder):
        """Makes `folder` one that this user cannot write (root too: immutable), until the
        test ends."""
        os.chmod(folder, 0o555)
        self.addCleanup(os.chmod, folder, 0o755)
        if os.geteuid() == 0:
            subprocess.run(["chattr", "+i", folder], check=True, capture_output=True)
            self.addCleanup(subprocess.run, ["chattr", "-i", folder], check=True)
        try:
            open(os.path.join(folder, ".probe"), "w").close()
        except OSError:
            return
        os.remove(os.path.join(folder, ".probe"))
        self.skipTest("cannot make a folder that this user cannot write here")


if __name__ == "__main__":
    unittest.main(verbosity=2)
