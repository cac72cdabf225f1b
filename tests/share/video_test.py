#!/usr/bin/env python3
"""Videos made by pixbrk-headless from a saved replay, decoded by ffprobe and ffmpeg: 60 frames
a second, one frame per frame of the playback, sound as long as the picture, the lossless
file's first picture and sound exactly the runner's own, and a clip cut where it was asked."""
import argparse
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

failures = []


def check(what, ok):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def run(*cmd, cwd):
    return subprocess.run(cmd, cwd=cwd, check=True, capture_output=True, timeout=300).stdout


def probe_video(path):
    out = run("ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
              "stream=r_frame_rate,nb_read_frames", "-of", "json", str(path), cwd=path.parent)
    s = json.loads(out)["streams"][0]
    return s["r_frame_rate"], int(s["nb_read_frames"])


def decoded(path, *how):
    return run("ffmpeg", "-v", "error", "-i", str(path), *how, "-", cwd=path.parent)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runner", required=True)
    ap.add_argument("--pack", required=True)
    ap.add_argument("--script", required=True, help="a touch script that plays a game and saves it in slot 1")
    a = ap.parse_args()
    runner = str(Path(a.runner).resolve())
    with tempfile.TemporaryDirectory(prefix="pixbrk-video-") as tmp:
        d = Path(tmp)
        shutil.copy(a.pack, d / "ROMDATA.BIN")
        run(runner, "--script", str(Path(a.script).resolve()), cwd=d)
        # The playback as the runner shows it: its length, its first play frame, all its sound.
        summary = run(runner, "--replay", "PIXBRK01.REP", "--png", "1:first.png", "--png", "121:at2s.png",
                      "--scale", "2", "--wav", "all.wav", cwd=d).decode()
        frames = int(summary.split()[1]) - 1  # the first frame sets up the round
        rate = 22050

        for ext in ("mp4", "webm", "mkv"):
            out = d / ("game." + ext)
            run(runner, "--replay", "PIXBRK01.REP", "--video", out.name, cwd=d)
            fps, count = probe_video(out)
            check(f"{ext}: 60 frames a second ({fps})", fps == "60/1")
            check(f"{ext}: {frames} frames, one per frame of the playback ({count})", count == frames)
            sound = decoded(out, "-map", "0:a", "-f", "s16le", "-ac", "1", "-ar", str(rate))
            seconds = len(sound) / 2 / rate
            check(f"{ext}: sound {seconds:.3f} s for {frames / 60:.3f} s of picture",
                  abs(seconds - frames / 60) <= 0.1)

        # Lossless: the first picture is the runner's, pixel for pixel, and the sound is the
        # mixer's own from the first play frame (sample 367.5) on.
        mkv = d / "game.mkv"
        rgb = ("-f", "rawvideo", "-pix_fmt", "rgb24")
        check("mkv: frame 0 equals the runner's picture of the first play frame",
              decoded(mkv, "-frames:v", "1", *rgb) == decoded(d / "first.png", *rgb))
        wav = (d / "all.wav").read_bytes()[44:]
        flac = decoded(mkv, "-map", "0:a", "-f", "s16le")
        check("mkv: the sound is the mixer's output from the clip's first frame",
              len(wav) > 100000 and flac[: len(wav) - 734] == wav[734:])

        # A clip from 2 s to frame 150: 30 frames, starting with the playback's frame 120.
        clip = d / "clip.mkv"
        run(runner, "--replay", "PIXBRK01.REP", "--video", clip.name, "--from", "2", "--to", "150f", cwd=d)
        fps, count = probe_video(clip)
        check(f"clip: 30 frames ({count})", count == 30)
        check("clip: its first frame is the playback's frame 120",
              decoded(clip, "-frames:v", "1", *rgb) == decoded(d / "at2s.png", *rgb))
        clip_sound = decoded(clip, "-map", "0:a", "-f", "s16le")
        start = 121 * 735 // 2 * 2
        check(f"clip: half a second of the mixer's sound from frame 121 ({len(clip_sound) // 2} samples)",
              len(clip_sound) == 30 * 735 and clip_sound == wav[start:start + len(clip_sound)])
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
