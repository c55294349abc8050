#!/usr/bin/env python3
"""The real program's share of one processor core at 60 frames a second.

    bench/graphics/cpu_share.py RUN_FOLDER VOX_HARDWARE title|endless [FRAMES] [RUNS]

Runs the program of RUN_FOLDER (build/run) in a fresh copy of the folder
under SDL's offscreen video driver, with VOX_HARDWARE as given (1: the
Direct3D device, on Mesa's OpenGL too; 0: the software renderer), through
the test script hook: the title, or endless play at level 1 with nothing
pressed, frames back to back. The process's processor time (user and
system, all threads) is read from /proc when the screenshot before the
measured frames appears and when the one after them appears; the share is
that time per frame times 60. The frame loop's own wait is left out, which
a device-path start on Mesa's OpenGL would otherwise skip for a long while
(its first frames lag far behind the pace, and the loop catches up).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

TO_THE_SCENE = {
    "title": "scene 0\nframes 300\n",
    "endless": "scene 0\nframes 125\ntap C\nscene 1\nframes 50\ntap C\nscene 2\nframes 50\n"
               "tap Down\ntap Down\ntap Down\ntap C\nscene 10\nframes 50\ntap C\nscene 4\nframes 300\n",
}


def processor_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def one_run(built, hardware, kind, frames):
    run = tempfile.mkdtemp(prefix="voxshare-")
    try:
        os.makedirs(run + "/replay")
        with open(run + "/Voxaldrift.ini", "w") as ini:  # decide on C
            ini.write("[Custom]\nC_Custom=64\nB_Custom=32\nSTART_Custom=8192\n")
        for name in os.listdir(built):
            if name not in ("replay", "score.vsd", "Voxaldrift.ini"):
                os.symlink(os.path.join(built, name), os.path.join(run, name))
        with open(run + "/script.txt", "w") as script:
            script.write("seed 1\nunpaced\nlimit 5000\n" + TO_THE_SCENE[kind] +
                         "shot a.png\nframes %d\nshot b.png\nframes 5\nclose\n" % frames)
        env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy",
                   VOXALDRIFT_TEST_SCRIPT="script.txt", VOX_HARDWARE=hardware)
        program = subprocess.Popen(["./voxaldrift"], cwd=run, env=env, stderr=subprocess.PIPE)
        marks = {}
        while program.poll() is None and len(marks) < 2:
            for mark in ("a", "b"):
                if mark not in marks and os.path.exists(os.path.join(run, mark + ".png")):
                    marks[mark] = processor_seconds(program.pid)
            time.sleep(0.002)
        err = program.communicate()[1].decode(errors="replace")
        if len(marks) < 2:
            sys.exit("the program ended early (%s): %s" % (program.returncode, err.strip()))
        return (marks["b"] - marks["a"]) / frames * 60
    finally:
        shutil.rmtree(run, ignore_errors=True)


def main():
    built, hardware, kind = sys.argv[1], sys.argv[2], sys.argv[3]
    frames = int(sys.argv[4]) if len(sys.argv) > 4 else 600
    runs = int(sys.argv[5]) if len(sys.argv) > 5 else 1
    for _ in range(runs):
        share = one_run(os.path.abspath(built), hardware, kind, frames)
        print("VOX_HARDWARE=%s %s: %.1f%% of a core" % (hardware, kind, 100 * share), flush=True)


if __name__ == "__main__":
    main()
