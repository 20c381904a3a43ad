"""Runs tests/programs/cleanup_driver.exe of a Windows build under Wine."""
import sys

from harness import Checks, WineSession, skip, windows_path


class Driver:
    def __init__(self, wine):
        self.wine = wine
        programs = wine.build / "tests" / "programs"
        self.exe = programs / "cleanup_driver.exe"
        self.launchee = programs / "launchee.exe"
        if not self.exe.exists() or not self.launchee.exists():
            skip(f"{programs} holds no cleanup_driver.exe or launchee.exe")

    def run(self, *args):
        """Runs one driver command; returns its output lines as (key, value) pairs."""
        result = self.wine.run(self.exe, [str(a) for a in args])
        pairs = []
        for line in result.stdout.splitlines():
            key, sep, value = line.strip().partition("=")
            if sep and key in ("result", "failed", "text", "entry", "length", "error"):
                pairs.append((key, value))
        return pairs

    @staticmethod
    def values(pairs, key):
        return [v for k, v in pairs if k == key]


def session(arch):
    return WineSession.for_arch(arch)


__all__ = ["Checks", "Driver", "session", "windows_path"]
