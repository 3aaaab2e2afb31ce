#!/usr/bin/env python3
"""Opens Brakka's own editor inside Ardour's GUI on a private X server and looks at it.

editor_shot.sh builds a throw-away session with Brakka on a MIDI track, starts Ardour's GUI on
Xvfb with the plug-in's editor window open, captures the editor, clicks a note step through the
X server and captures again, and quits Ardour. The test then checks that

- the editor Ardour shows has the size of Brakka's window at 100 % and is not blank;
- its layout matches the editor drawn off-screen by brakka-editor-shot in the same state
  (both pictures reduced to a coarse grid of brightness means, which must correlate);
- the click lit the note step under the pointer and changed little else.

Exit status: 0 pass, 1 fail, 77 skip (Ardour or a tool the recipe needs is not installed).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = ["ardour", "ardour7-lua", "Xvfb", "xauth", "xwininfo", "xdotool", "import", "convert"]

# The editor's layout at 100 % (BrakkaEditorLayout.h): the kick's first note step.
WIDTH, HEIGHT = 1080, 680
STEP = (150, 132, 167, 150)  # left, top, right, bottom
GRID = (54, 34)  # columns, rows of the brightness grid (20 x 20 pixels each)
# A run takes about 20 s; on a machine busy with other work, building the session and starting
# Ardour have been seen to take 40 s and more.
BUDGET_S = 120


def grey_grid(path, columns, rows):
    """Brightness means (0..255) of a columns x rows grid over the picture."""
    raw = subprocess.run(
        ["convert", path, "-alpha", "remove", "-colorspace", "Gray",
         "-filter", "Box", "-resize", f"{columns}x{rows}!", "-depth", "8", "gray:-"],
        check=True, capture_output=True).stdout
    if len(raw) != columns * rows:
        raise RuntimeError(f"{path}: unexpected grid size")
    return list(raw)


def region_grid(path, box):
    """Brightness values of a region at full resolution."""
    left, top, right, bottom = box
    raw = subprocess.run(
        ["convert", path, "-alpha", "remove", "-crop",
         f"{right - left}x{bottom - top}+{left}+{top}", "+repage", "-colorspace", "Gray",
         "-depth", "8", "gray:-"], check=True, capture_output=True).stdout
    return list(raw)


def size_of(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                         capture_output=True, text=True).stdout.split()
    return int(out[0]), int(out[1])


def correlation(a, b):
    n = len(a)
    ma, mb = sum(a) / n, sum(b) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    return cov / (va * vb) ** 0.5 if va > 0 and vb > 0 else 0.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("plugin", help="build/Brakka.so")
    parser.add_argument("editor_shot", help="build/brakka-editor-shot")
    parser.add_argument("--keep", metavar="DIR", help="copy the pictures into DIR")
    args = parser.parse_args()

    missing = [t for t in TOOLS if shutil.which(t) is None]
    if missing:
        print("skipped: not installed: " + " ".join(missing))
        return SKIP

    failures = []

    def check(condition, message):
        print(("ok   " if condition else "FAIL ") + message)
        if not condition:
            failures.append(message)

    with tempfile.TemporaryDirectory(prefix="brakka-ardour-editor-") as tmp:
        shot = os.path.join(tmp, "ardour.png")
        reference = os.path.join(tmp, "offscreen.png")
        env = dict(os.environ)
        env.pop("GDK_SCALE", None)  # the editor opens at 100 %
        click = f"{(STEP[0] + STEP[2]) // 2},{(STEP[1] + STEP[3]) // 2}"
        run = subprocess.run(
            [os.path.join(HERE, "editor_shot.sh"), os.path.abspath(args.plugin), shot,
             "--click", click, "--settle", "1", "--after-click", "1", "--seconds", str(BUDGET_S)],
            env=env, capture_output=True, text=True, timeout=BUDGET_S + 60)
        sys.stdout.write(run.stdout)
        sys.stderr.write(run.stderr)
        if run.returncode != 0:
            # The whole screen at the failure, kept in the test's working folder.
            for name in os.listdir(tmp):
                if name.endswith("FAILED-screen.png"):
                    shutil.copy(os.path.join(tmp, name), os.getcwd())
                    print(f"the screen at the failure: {os.path.join(os.getcwd(), name)}")
            print(f"FAIL editor_shot.sh exited with {run.returncode}")
            return 1
        clicked = shot[:-4] + "-clicked.png"
        subprocess.run([args.editor_shot, reference, "--program", "1", "--voice", "1",
                        "--bars", "0"], check=True)
        if args.keep:
            os.makedirs(args.keep, exist_ok=True)
            for f in (shot, clicked, reference):
                shutil.copy(f, args.keep)

        check(size_of(shot) == (WIDTH, HEIGHT), f"Ardour shows the editor at {WIDTH}x{HEIGHT} "
              f"(got {size_of(shot)})")
        host = grey_grid(shot, *GRID)
        own = grey_grid(reference, *GRID)
        spread = max(host) - min(host)
        check(spread > 60, f"the picture is not blank (brightness spread {spread})")
        r = correlation(host, own)
        check(r > 0.95, f"its layout matches the off-screen drawing (correlation {r:.3f})")
        mean_diff = sum(abs(a - b) for a, b in zip(host, own)) / len(host)
        check(mean_diff < 8, f"and so do its brightnesses (mean difference {mean_diff:.1f})")

        step_before = region_grid(shot, STEP)
        step_after = region_grid(clicked, STEP)
        lit = sum(1 for a, b in zip(step_before, step_after) if abs(a - b) > 30)
        check(lit > 40, f"the clicked note step lights up ({lit} pixels changed)")
        whole = correlation(grey_grid(clicked, *GRID), host)
        check(whole > 0.99, f"the rest stays as it was (correlation {whole:.3f})")

    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
