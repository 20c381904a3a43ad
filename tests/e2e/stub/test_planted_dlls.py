"""No DLL that lies beside a launcher is ever loaded into it. People start
launchers from a Downloads folder that may hold anything: here a folder of
DLLs under names that programs commonly load (tests/programs/planted, each
creating a marker file when it is loaded), with Wine told to prefer such
DLLs to its own wherever it finds them. The launcher, silent and with its
dialog, must load none of them and still run its program.

Usage: test_planted_dlls.py ARCH (win64 or win32, under Wine)."""
import pathlib
import shutil
import sys
import tempfile

from harness import Checks, WineSession, pack, skip, stub_path, windows_path

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"


def main():
    if stub_path(ARCH) is None:
        skip(f"no {ARCH} build")
    build = stub_path(ARCH).parent.parent
    planted = sorted((build / "tests" / "programs" / "planted").glob("*.dll"))
    if not planted:
        skip(f"the planted DLLs of the {ARCH} build are not built")
    checks = Checks()
    work = pathlib.Path(tempfile.mkdtemp(prefix="sfx-planted-"))
    try:
        app = work / "app"
        app.mkdir()
        shutil.copy(build / "tests" / "programs" / "report.exe", app / "app.exe")
        downloads = work / "Downloads"
        downloads.mkdir()
        for dll in planted:
            shutil.copy(dll, downloads / dll.name)
        launchers = {"silent": pack(stub_path(ARCH), app, downloads / "silent.exe", "app.exe", silent=True),
                     "dialog": pack(stub_path(ARCH), app, downloads / "dialog.exe", "app.exe", title="Planted")}
        names = ",".join(dll.stem for dll in planted)
        with WineSession.for_arch(ARCH) as wine:
            wine.env["WINEDLLOVERRIDES"] += f";{names}=n,b"
            for mode, launcher in launchers.items():
                markers = work / f"markers-{mode}"
                markers.mkdir()
                report = work / f"report-{mode}.txt"
                wine.env.update(SFX_PLANTED_DIR=windows_path(markers), SFX_REPORT=windows_path(report),
                                SFX_EXIT_CODE="5")
                result = wine.run(launcher, ["/S"] if mode == "silent" else [])
                checks.equal(f"{mode}: DLLs loaded from beside the launcher",
                             sorted(p.stem for p in markers.iterdir()), [])
                checks.equal(f"{mode}: the launcher's exit code", result.code, 5)
                checks.equal(f"{mode}: the program ran", report.exists() and "begin" in report.read_text(), True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    checks.finish()


if __name__ == "__main__":
    main()
